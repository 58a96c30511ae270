/*
 * velksession.h - the session interface of libvelklink.so (velklink.dll on
 * Windows), included by velklink.h.
 *
 * One handle per decoder, a result code from every call, a message with its
 * cause, and no state shared between sessions: any number of sessions may be
 * open at once, each on its own port with its own engines, timers, logs,
 * record directory and callbacks. The library-wide decoder of the exports in
 * velklink.h is one more decoder beside them.
 *
 * Rules:
 * - Calls block until their exchange with the decoder has ended; no message
 *   loop of the host is needed. A session may be used from any thread, one call
 *   at a time: a second call while one runs ends at once with VELK_ERR_BUSY.
 *   The session's engines run on a thread of the session's own, on which its
 *   callbacks are called while the call that caused them waits.
 * - Every call ends: on a line that went away within 1 s, on a silent decoder
 *   within the protocol's time-outs (5 s for an answer, 10 s between the
 *   packets of a read), on velk_cancel within 1 s. velk_close and the end of
 *   the process never wait for the decoder.
 * - From inside a session's own callback, every call on that session but
 *   velk_cancel and velk_close ends with VELK_ERR_BUSY; velk_close there takes
 *   effect once the running call has returned (the call still returns its
 *   result, and the handle is gone afterwards).
 * - Texts in and out are UTF-8. A record, item or port name with a character
 *   that Windows-1252 cannot hold is VELK_ERR_ARGUMENT.
 */
#ifndef VELKSESSION_H
#define VELKSESSION_H

#include "velklink.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct velk_session velk_session;

typedef enum velk_result {
    VELK_OK = 0,
    VELK_ERR_ARGUMENT =
        -1, /* a null pointer, a length or address out of range, a name that is too long or not representable */
    VELK_ERR_PORT = -2,      /* the port cannot be opened or set up (the system's cause in the message) */
    VELK_ERR_LINE = -3,      /* the line went away during the exchange (unplugged, far end closed, server gone) */
    VELK_ERR_NO_ANSWER = -4, /* the decoder never answered */
    VELK_ERR_TIMEOUT = -5,   /* the decoder answered, then stopped answering */
    VELK_ERR_REFUSED = -6,   /* the decoder refused the request (NACK) */
    VELK_ERR_PROTOCOL = -7,  /* an answer that is not sound, or not the one expected */
    VELK_ERR_RECORD = -8,    /* a record or item missing, duplicate or incoherent, no free slot or room */
    VELK_ERR_CANCELLED = -9, /* velk_cancel ended the call */
    VELK_ERR_BUSY = -10      /* another call on this session has not ended */
} velk_result;

/* Progress of the exchange in progress: done of total bytes; context is the
   pointer given with the callback. */
typedef void(VELK_CALL *velk_progress_callback)(void *context, uint32_t done, uint32_t total);
/* A line of the session's logs: kind is VELK_LOG_LINK, VELK_LOG_TRANSFER or
   VELK_LOG_SESSION (the session's own notes: retries); text is UTF-8. */
typedef void(VELK_CALL *velk_log_callback)(void *context, int32_t kind, const char *text);

/* An exchange that failed is about to be tried again: attempt (from 1) of
   retries, the failure's result code (velk_result) and message (UTF-8). */
typedef void(VELK_CALL *velk_retry_callback)(void *context, uint32_t attempt, uint32_t retries, int32_t cause,
                                             const char *message);

/* The library's name and version, UTF-8, e.g. "Velkora Library 1.4". */
VELK_EXPORT const char *VELK_CALL velk_version(void);

/* Opens the port (any name OpenComPort takes) and makes a session on it. On
   failure *session is null and velk_message(NULL) gives the cause, on the
   thread that called velk_open. */
VELK_EXPORT velk_result VELK_CALL velk_open(const char *port, velk_session **session);
/* Closes the port and frees the session; null is allowed. A call still running
   on another thread is cancelled first. */
VELK_EXPORT void VELK_CALL velk_close(velk_session *session);
/* The last failure of the session, UTF-8, with its cause; "" after none. With
   null: the last failure of velk_open or of a call without a session (below)
   on the calling thread. Valid until the session's next call. */
VELK_EXPORT const char *VELK_CALL velk_message(const velk_session *session);
/* The system's error code behind that failure (errno; GetLastError on
   Windows), 0 when it had none (a remote port's failure carries its cause in
   the message instead). With null: the calling thread's last failure that
   velk_message(NULL) gives. */
VELK_EXPORT int32_t VELK_CALL velk_system_error(const velk_session *session);
/* Ends the session's running call with VELK_ERR_CANCELLED within 1 s; nothing
   when no call runs. Safe from any thread and from a signal handler. */
VELK_EXPORT void VELK_CALL velk_cancel(velk_session *s);

/* Callbacks of the session (null: none), with the context pointer handed back
   to them. */
VELK_EXPORT velk_result VELK_CALL velk_set_progress(velk_session *s, velk_progress_callback callback, void *context);
VELK_EXPORT velk_result VELK_CALL velk_set_log(velk_session *s, velk_log_callback callback, void *context);
VELK_EXPORT velk_result VELK_CALL velk_set_retry_callback(velk_session *s, velk_retry_callback callback, void *context);
/* How often an exchange that failed is tried again, after the line has been
   quiet for a moment (0, the default: never). A refusal, a decoder that has
   never answered in this session, a line that went away and a firmware upload
   are never tried again. */
VELK_EXPORT velk_result VELK_CALL velk_set_retries(velk_session *s, uint32_t retries);

/* Transfers. Flash addresses are 32-bit decoder addresses; EEPROM addresses are
   offsets in its 8 KiB (a range beyond it is VELK_ERR_ARGUMENT). Lengths are at
   most 0x7FFFFFFF and a range may not wrap past 0xFFFFFFFF. already_synchronised
   (may be null) is set to 1 when the decoder was synchronised before, else 0. */
VELK_EXPORT velk_result VELK_CALL velk_sync(velk_session *s, int *already_synchronised);
VELK_EXPORT velk_result VELK_CALL velk_read_flash(velk_session *s, uint32_t address, void *buffer, uint32_t length);
VELK_EXPORT velk_result VELK_CALL velk_write_flash(velk_session *s, uint32_t address, const void *data,
                                                   uint32_t length);
VELK_EXPORT velk_result VELK_CALL velk_read_eeprom(velk_session *s, uint32_t address, void *buffer, uint32_t length);
VELK_EXPORT velk_result VELK_CALL velk_write_eeprom(velk_session *s, uint32_t address, const void *data,
                                                    uint32_t length);
VELK_EXPORT velk_result VELK_CALL velk_upload_firmware(velk_session *s, const void *image, uint32_t length);

/* Record store: named items (names of 1 to 12 characters) in named records
   (1 to 8 characters). The directory is read from the decoder when a call
   first needs it and after a record write failed; velk_refresh reads it again.
   velk_get_item sets *length to the item's size and, with a buffer, copies the
   item (capacity smaller than the size: VELK_ERR_ARGUMENT, nothing copied).
   velk_put_items stores count items into the record at once (made when
   missing), each replacing one of the same name. */
VELK_EXPORT velk_result VELK_CALL velk_get_item(velk_session *s, const char *record, const char *item, void *buffer,
                                                uint32_t capacity, uint32_t *length);
VELK_EXPORT velk_result VELK_CALL velk_put_items(velk_session *s, const char *record, size_t count,
                                                 const char *const *items, const void *const *data,
                                                 const uint32_t *lengths);
VELK_EXPORT velk_result VELK_CALL velk_delete_item(velk_session *s, const char *record, const char *item);
/* Frees a slot that holds a record, sound or damaged (the only way to remove a
   damaged one): the slot is written as the record format marks a free slot,
   and the directory changes once that write succeeded. A free slot is
   VELK_ERR_RECORD. */
VELK_EXPORT velk_result VELK_CALL velk_free_slot(velk_session *s, uint32_t slot);

/* The record directory as data, so that no host reads the slot layout. */
typedef enum velk_slot_status {
    VELK_SLOT_FREE = 0,   /* no record */
    VELK_SLOT_RECORD = 1, /* a record in use, sound */
    VELK_SLOT_DAMAGED = 2 /* in use, but its structure is not valid: no items are listed */
} velk_slot_status;

typedef struct velk_directory {
    uint32_t base;              /* address of slot 0 */
    uint32_t slot_count;        /* slots of the record area */
    uint32_t free_slots;        /* slots without a record */
    uint32_t usable_free_slots; /* free slots the slot table admits: where a new record goes */
} velk_directory;

typedef struct velk_slot_info {
    uint32_t slot;
    uint32_t address;
    int32_t status;    /* velk_slot_status */
    int32_t admitted;  /* 1 when the slot table admits the record: it is found by name */
    int32_t slot_flag; /* 1 when the EEPROM gives the slot its flag */
    uint32_t items;    /* items listed (0 unless VELK_SLOT_RECORD) */
    uint32_t free;     /* bytes free in the slot (0 for a free slot) */
    char name[32];     /* UTF-8, zero-terminated; "" for a free slot */
} velk_slot_info;

typedef struct velk_item_info {
    uint32_t size;
    char name[40]; /* UTF-8, zero-terminated */
} velk_item_info;

/* Reads the directory from the decoder (full: whole records, else the item
   tables only). */
VELK_EXPORT velk_result VELK_CALL velk_refresh(velk_session *s, int full);
/* The directory as last read (read now when it has not been). */
VELK_EXPORT velk_result VELK_CALL velk_get_directory(velk_session *s, velk_directory *directory);
/* A slot of it, and an item of a slot, from memory: VELK_ERR_ARGUMENT for an
   index out of range. */
VELK_EXPORT velk_result VELK_CALL velk_get_slot(velk_session *s, uint32_t slot, velk_slot_info *info);
VELK_EXPORT velk_result VELK_CALL velk_get_slot_item(velk_session *s, uint32_t slot, uint32_t index,
                                                     velk_item_info *info);

/* Without a session: what a host checks or describes before, or instead of,
   talking to a decoder. A failure's cause is in velk_message(NULL) (and
   velk_system_error(NULL) is 0), on the thread that made the call, as after
   velk_open. */

/* The most bytes one transfer carries: a read, a write, a firmware image. */
#define VELK_MAX_TRANSFER 0x7FFFF0u

/* A port name as velk_open reads it. */
typedef struct velk_port_name {
    int32_t remote;    /* 1 for a network name (rfc2217://HOST:PORT, socket://HOST:PORT), 0 for a device */
    uint32_t tcp_port; /* a network name's TCP port, else 0 */
    char host[256];    /* a network name's host, UTF-8, an IPv6 address without its brackets; else "" */
} velk_port_name;

/* Checks a port name without opening or contacting anything: VELK_ERR_ARGUMENT
   for a name velk_open would refuse before opening it (a character that
   Windows-1252 cannot hold, a network name without a valid HOST:PORT, a host
   longer than the field). name (may be null) receives what the name is. */
VELK_EXPORT velk_result VELK_CALL velk_check_port_name(const char *port, velk_port_name *name);
/* The system's path of the device a port name opens ("COM3" is /dev/ttyS2 on
   Linux, \\.\COM3 on Windows; a network name is itself), UTF-8, into buffer of
   capacity bytes with its terminating zero. *length (may be null) is set to its
   bytes without the zero; a null buffer asks for the length only, a capacity
   too small for it is VELK_ERR_ARGUMENT. */
VELK_EXPORT velk_result VELK_CALL velk_device_path(const char *port, char *buffer, uint32_t capacity, uint32_t *length);
/* The bytes a UTF-8 text takes in Windows-1252, the decoder's characters:
   what the 8 and 12 characters of a record and an item name count.
   VELK_ERR_ARGUMENT for text that is not UTF-8 or holds a character
   Windows-1252 cannot hold. */
VELK_EXPORT velk_result VELK_CALL velk_stored_length(const char *text, uint32_t *length);
/* Describes the bytes of one record slot (a copy kept in a file) as
   velk_get_slot describes a slot of the decoder: status, name, items and free
   bytes; slot, address, admitted and slot_flag are 0 (the slot table is not in
   the bytes). length must be the record slot size (65536): else
   VELK_ERR_ARGUMENT. */
VELK_EXPORT velk_result VELK_CALL velk_describe_slot(const void *image, uint32_t length, velk_slot_info *info);

/* The machine's serial ports with what the system tells of them. A field that
   is not known is "" (latency_ms: -1). Texts are UTF-8 and zero-terminated;
   each field holds every value the system can list (a device or by-id path is
   its folder and a file name of at most 255 bytes; a USB string descriptor
   holds at most 126 UTF-16 units, 378 bytes of UTF-8), so none is ever cut
   short: a value that does not fit all the same (a longer path given to
   velk_describe_port) fails the call with VELK_ERR_ARGUMENT rather than
   naming another port. On Windows only device is known. */
typedef struct velk_port_info {
    char device[512];  /* the name to open: "/dev/ttyUSB0", "COM3" */
    char by_id[512];   /* the stable name, "/dev/serial/by-id/usb-..." */
    char serial[384];  /* the USB adapter's serial number */
    char vendor_id[8]; /* USB vendor and product IDs, four hexadecimal digits */
    char product_id[8];
    char manufacturer[384]; /* the USB adapter's maker and product, as it names them */
    char product[384];
    char driver[256];   /* the system's driver: "ftdi_sio", "serial8250" */
    int32_t latency_ms; /* the USB adapter's latency timer in ms; -1 when it has none */
} velk_port_info;

/* Lists the serial ports (sorted as OpenComPort's list, GetComPort): *count is
   set to their number and, with ports, the first *count entries are filled.
   ports null: the number only. capacity below the number: VELK_ERR_ARGUMENT,
   *count set, nothing filled (a port may appear between two calls: ask again).
   A list the system cannot give is VELK_ERR_PORT. On failure velk_message(NULL)
   gives the cause, on the calling thread. */
VELK_EXPORT velk_result VELK_CALL velk_list_ports(velk_port_info *ports, uint32_t capacity, uint32_t *count);
/* The port a name stands for (any name velk_open takes; a link such as a
   by-id name leads to its device, which device then holds), described as
   velk_list_ports does, whether listed or not. A remote port is its name
   alone. Failures as for velk_list_ports. */
VELK_EXPORT velk_result VELK_CALL velk_describe_port(const char *port, velk_port_info *info);

#ifdef __cplusplus
}
#endif

#endif /* VELKSESSION_H */
