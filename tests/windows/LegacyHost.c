/* A host that binds velklink.dll as the first window program for Windows did:
 * LoadLibrary, GetProcAddress by the undecorated names, and prototypes and
 * callbacks declared here in the stdcall convention, not taken from
 * velklink.h. Every call that passes arguments is made through CALL, which
 * checks on 32-bit Windows that the stack pointer is where it was: a DLL of
 * another calling convention leaves it moved and fails the run, where it could
 * otherwise go unnoticed.
 *
 *   LegacyHost exchange PORT   two Initialize/Finalize scopes with a 64 KiB
 *                              write and read, the EEPROM, a record item saved
 *                              and loaded, a missing item; exit code 0 when all
 *                              held
 *   LegacyHost ends MODE PORT  runs itself with MODE and fails unless that run
 *                              ends within its bound:
 *     open      returns from main with the port open after a sync
 *     midway    calls ExitProcess in the middle of a 64 KiB read
 *     unload    calls Finalize, then FreeLibrary, then returns
 */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#define STDCALL __stdcall

typedef void(STDCALL *EventCallback)(int32_t code, int32_t value);
typedef void(STDCALL *ErrorCallback)(const char *text);
typedef void(STDCALL *VoidFn)(void);
typedef int32_t(STDCALL *IntFn)(void);
typedef int32_t(STDCALL *NameFn)(const char *name);
typedef int32_t(STDCALL *TransferFn)(uint32_t address, int32_t length);
typedef int32_t(STDCALL *SendFn)(const void *data, uint32_t address, int32_t length);
typedef int32_t(STDCALL *BufferFn)(void *buffer);
typedef int32_t(STDCALL *RefreshFn)(int32_t full);
typedef int32_t(STDCALL *ItemFn)(const char *record, const char *item);
typedef int32_t(STDCALL *SaveFn)(const char *record, const char *item, const void *data, int32_t size);
typedef EventCallback(STDCALL *SetEventFn)(EventCallback callback);
typedef ErrorCallback(STDCALL *SetErrorFn)(ErrorCallback callback);

static struct {
    HMODULE module;
    VoidFn Initialize, Finalize;
    NameFn OpenComPort;
    IntFn CloseComPort, HLPSendSync, HLPWaitFor, HLPGetError;
    TransferFn HLPReadFlash, HLPReadEeprom;
    SendFn HLPSendFlash, HLPSendEeprom;
    BufferFn HLPGetBuffer, RECGetBuffer;
    RefreshFn RECRefresh;
    ItemFn RECItemExists, RECLoadItem;
    SaveFn RECSaveItem;
    SetEventFn HLPSetEvent;
    SetErrorFn SetErrorEvent;
} lib;

static int failures;
static int errorsShown;

static void Fail(const char *what, int line) {
    fprintf(stderr, "LegacyHost:%d: %s\n", line, what);
    ++failures;
}
#define CHECK(condition) ((condition) ? (void)0 : Fail(#condition, __LINE__))

#if defined(__i386__)
/* The stack pointer before and after one call: equal when caller and callee
 * agree on who removes the arguments. */
#define STACK_POINTER(into) __asm__ volatile("movl %%esp, %0" : "=r"(into))
#define CALL(result, call)                                                                                             \
    do {                                                                                                               \
        uintptr_t before_, after_;                                                                                     \
        STACK_POINTER(before_);                                                                                        \
        result = call;                                                                                                 \
        STACK_POINTER(after_);                                                                                         \
        if (before_ != after_)                                                                                         \
            Fail("the stack pointer moved across " #call ": calling convention mismatch", __LINE__);                   \
    } while (0)
#else
#define CALL(result, call) (result = call)
#endif

static FARPROC Bind(const char *name) {
    FARPROC symbol = GetProcAddress(lib.module, name);
    if (symbol == NULL) {
        fprintf(stderr, "LegacyHost: no export named %s\n", name);
        ExitProcess(3);
    }
    return symbol;
}

static void Load(void) {
    lib.module = LoadLibraryA("velklink.dll");
    if (lib.module == NULL) {
        fprintf(stderr, "LegacyHost: velklink.dll not loaded (%lu)\n", GetLastError());
        ExitProcess(3);
    }
#define BIND(name) lib.name = (void *)Bind(#name)
    BIND(Initialize);
    BIND(Finalize);
    BIND(OpenComPort);
    BIND(CloseComPort);
    BIND(HLPSendSync);
    BIND(HLPWaitFor);
    BIND(HLPGetError);
    BIND(HLPReadFlash);
    BIND(HLPReadEeprom);
    BIND(HLPSendFlash);
    BIND(HLPSendEeprom);
    BIND(HLPGetBuffer);
    BIND(RECGetBuffer);
    BIND(RECRefresh);
    BIND(RECItemExists);
    BIND(RECLoadItem);
    BIND(RECSaveItem);
    BIND(HLPSetEvent);
    BIND(SetErrorEvent);
#undef BIND
}

static void STDCALL CountError(const char *text) {
    fprintf(stderr, "LegacyHost: error box: %s\n", text);
    ++errorsShown;
}

static int32_t packetsSeen;
static void STDCALL CountPackets(int32_t code, int32_t value) {
    if (code == 11 || code == 14) /* a link packet of a read or write */
        packetsSeen = value;
}

/* The library's result buffer, at most size bytes of it; its length. */
static int32_t Result(BufferFn get, uint8_t *into, int32_t size) {
    int32_t length;
    CALL(length, get(NULL));
    if (length > size)
        return -1;
    int32_t copied;
    CALL(copied, get(into));
    return copied == length ? length : -1;
}

static int Exchange(const char *port) {
    static uint8_t data[65536], back[65536];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = (uint8_t)(i * 31 + (i >> 9));
    ErrorCallback previous;
    CALL(previous, lib.SetErrorEvent(CountError));
    (void)previous;
    int32_t ok;
    for (int scope = 0; scope < 2; ++scope) {
        lib.Initialize();
        EventCallback noEvents;
        CALL(noEvents, lib.HLPSetEvent(CountPackets));
        (void)noEvents;
        CALL(ok, lib.OpenComPort(port));
        CHECK(ok == 1);
        CHECK(lib.HLPSendSync() == 1 && lib.HLPWaitFor() == 1);
        if (scope == 0) {
            /* 64 KiB into the fourth record slot and back. */
            CALL(ok, lib.HLPSendFlash(data, 0x34050000u, (int32_t)sizeof data));
            CHECK(ok == 1 && lib.HLPWaitFor() == 1);
            /* The write's progress arrived through the stdcall event callback. */
            if (packetsSeen != 33) {
                fprintf(stderr, "LegacyHost: %d link packets of the write reported\n", (int)packetsSeen);
                Fail("packetsSeen == 33", __LINE__);
            }
            CALL(ok, lib.HLPReadFlash(0x34050000u, (int32_t)sizeof data));
            CHECK(ok == 1 && lib.HLPWaitFor() == 1);
            CHECK(Result(lib.HLPGetBuffer, back, (int32_t)sizeof back) == (int32_t)sizeof back);
            CHECK(memcmp(back, data, sizeof data) == 0);
            /* The EEPROM: two bytes past the slot table, then the table's start. */
            static const uint8_t two[2] = {0x5A, 0xC3};
            CALL(ok, lib.HLPSendEeprom(two, 0x1F00u, 2));
            CHECK(ok == 1 && lib.HLPWaitFor() == 1);
            CALL(ok, lib.HLPReadEeprom(0x1F00u, 2));
            CHECK(ok == 1 && lib.HLPWaitFor() == 1);
            CHECK(Result(lib.HLPGetBuffer, back, 2) == 2 && back[0] == 0x5A && back[1] == 0xC3);
        } else {
            /* A record item saved and loaded in the second scope. */
            CALL(ok, lib.RECRefresh(1));
            CHECK(ok == 1);
            CALL(ok, lib.RECSaveItem("legacy", "item", data, 5000));
            CHECK(ok == 1);
            CALL(ok, lib.RECItemExists("legacy", "item"));
            CHECK(ok == 1);
            CALL(ok, lib.RECLoadItem("legacy", "item"));
            CHECK(ok == 1);
            CHECK(Result(lib.RECGetBuffer, back, (int32_t)sizeof back) == 5000);
            CHECK(memcmp(back, data, 5000) == 0);
            /* A missing item: no, and loading it fails with one error box. */
            CALL(ok, lib.RECItemExists("legacy", "absent"));
            CHECK(ok == 0);
            const int shown = errorsShown;
            CALL(ok, lib.RECLoadItem("legacy", "absent"));
            CHECK(ok == 0 && errorsShown == shown + 1);
        }
        CHECK(lib.CloseComPort() == 1);
        lib.Finalize();
    }
    CHECK(errorsShown == 1);
    return failures == 0 ? 0 : 1;
}

static void STDCALL ExitMidway(int32_t code, int32_t value) {
    if (code == 11 && value >= 3) /* three link packets into the read */
        ExitProcess(0);
}

/* The ways of ending that must not wait for anything the system has stopped. */
static int End(const char *mode, const char *port) {
    int32_t ok;
    lib.Initialize();
    CALL(ok, lib.OpenComPort(port));
    if (ok != 1 || lib.HLPSendSync() != 1 || lib.HLPWaitFor() != 1)
        return 1;
    if (strcmp(mode, "open") == 0)
        return 0;
    if (strcmp(mode, "midway") == 0) {
        EventCallback previous;
        CALL(previous, lib.HLPSetEvent(ExitMidway));
        (void)previous;
        CALL(ok, lib.HLPReadFlash(0x34020000u, 65536));
        lib.HLPWaitFor();
        fprintf(stderr, "LegacyHost: the read ended before ExitProcess\n");
        return 1;
    }
    if (strcmp(mode, "unload") == 0) {
        lib.CloseComPort();
        lib.Finalize();
        return FreeLibrary(lib.module) ? 0 : 1;
    }
    return 2;
}

/* Runs this program again with mode; 0 when that run ended well within
 * limitMs. */
static int EndsInTime(const char *mode, const char *port, DWORD limitMs) {
    char self[MAX_PATH], command[2 * MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    snprintf(command, sizeof command, "\"%s\" end %s %s", self, mode, port);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
        fprintf(stderr, "LegacyHost: cannot start %s (%lu)\n", command, GetLastError());
        return 1;
    }
    CloseHandle(child.hThread);
    const DWORD waited = WaitForSingleObject(child.hProcess, limitMs);
    DWORD code = 1;
    if (waited == WAIT_OBJECT_0)
        GetExitCodeProcess(child.hProcess, &code);
    else {
        fprintf(stderr, "LegacyHost: \"%s\" did not end within %lu ms\n", mode, limitMs);
        TerminateProcess(child.hProcess, 9);
    }
    CloseHandle(child.hProcess);
    if (waited == WAIT_OBJECT_0 && code != 0)
        fprintf(stderr, "LegacyHost: \"%s\" ended with %lu\n", mode, code);
    return code == 0 ? 0 : 1;
}

int main(int argc, char **argv) {
    if (argc == 3 && strcmp(argv[1], "exchange") == 0) {
        Load();
        return Exchange(argv[2]);
    }
    if (argc == 4 && strcmp(argv[1], "end") == 0) {
        Load();
        return End(argv[2], argv[3]);
    }
    /* The bound covers starting a program under Wine besides the 2 s a host
     * may take to end after its work. */
    if (argc == 4 && strcmp(argv[1], "ends") == 0)
        return EndsInTime(argv[2], argv[3], 15000);
    fprintf(stderr, "usage: LegacyHost exchange PORT | ends open|midway|unload PORT\n");
    return 2;
}
