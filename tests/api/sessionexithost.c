/* A host that ends its process with sessions open: one idle, one in the middle
 * of a 64 KiB read on another thread. Started as a program of its own (never a
 * fork of a process with threads), it must end at once with its own code, 7. */
#include <velklink.h>

#include <pthread.h>
#include <stdlib.h>
#include <time.h>

/* What the open sessions hold is left to the system on purpose. */
int __lsan_is_turned_off(void) {
    return 1;
}

static unsigned char buffer[64 * 1024];

static void *ReadSlot(void *session) {
    velk_read_flash((velk_session *)session, 0x34030000u, buffer, sizeof buffer);
    return NULL;
}

int main(int argc, char **argv) {
    velk_session *idle = NULL, *busy = NULL;
    pthread_t reader;
    struct timespec pause = {0, 300 * 1000 * 1000};
    if (argc != 3 || velk_open(argv[1], &idle) != VELK_OK || velk_open(argv[2], &busy) != VELK_OK)
        return 3;
    if (pthread_create(&reader, NULL, ReadSlot, busy) != 0)
        return 4;
    nanosleep(&pause, NULL);
    exit(7);
}
