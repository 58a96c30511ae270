/*
 * velklink.h - the C interface of libvelklink.so (velklink.dll on Windows).
 *
 * The library speaks the serial protocol of the decoder: a link layer of
 * checksummed, acknowledged DATA packets, a transfer layer (sync, flash and
 * EEPROM reads and writes, firmware upload) and a record store. A host calls
 * Initialize once, opens the port, runs its exchanges and calls Finalize.
 *
 * Truth values are 0 or 1 in a whole 32-bit value. Texts are zero-terminated
 * single-byte strings in the Windows-1252 code page.
 *
 * Beside these exports over one library-wide decoder, velksession.h (included
 * at the end) declares the session interface: a handle per decoder.
 */
#ifndef VELKLINK_H
#define VELKLINK_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VELK_CALL __stdcall
#else
#define VELK_CALL
#endif

/* VELK_BUILDING_LIBRARY is defined only while the library itself is built:
   its exports are then marked for export (on Windows the DLL's module
   definition file lists them, under their undecorated names), and for a user
   of the library imported from the DLL (Windows) or simply declared. */
#if defined(_WIN32) && defined(VELK_BUILDING_LIBRARY)
#define VELK_EXPORT
#elif defined(_WIN32)
#define VELK_EXPORT __declspec(dllimport)
#elif defined(VELK_BUILDING_LIBRARY)
#define VELK_EXPORT __attribute__((visibility("default")))
#else
#define VELK_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* States of the transfer engine (HLPGetState); entering one is also an event
   (code = state, value 0). The engine is free in NOT_CONNECTED and IDLE. */
enum VELK_State {
    VELK_STATE_NOT_CONNECTED = 0,   /* no exchange, or the last one failed */
    VELK_STATE_TX_SYNC = 1,         /* sending SYNC */
    VELK_STATE_WAIT_SYNC_ACK = 2,   /* waiting for the answer to SYNC */
    VELK_STATE_IDLE = 3,            /* synchronised, the last exchange ended well */
    VELK_STATE_TX_READ_REQUEST = 4, /* sending a read request */
    VELK_STATE_WAIT_DATA = 5,       /* waiting for the data of a read */
    VELK_STATE_TX = 6,              /* sending a write or firmware request */
    VELK_STATE_WAIT_ACK = 7         /* waiting for the answer to a write */
};

/* Progress events of the transfer engine, besides the states above. */
enum VELK_Progress {
    VELK_EVENT_READ_PACKET = 11,  /* value: link packets of the read received so far */
    VELK_EVENT_READ_START = 12,   /* value: link packets of the whole read */
    VELK_EVENT_WRITE_PACKET = 14, /* value: link packets of the write acknowledged so far */
    VELK_EVENT_WRITE_START = 15   /* value: link packets of the whole write */
};

/* Errors of the last exchange (HLPGetError). */
enum VELK_Error {
    VELK_ERROR_NONE = 0,
    VELK_ERROR_LINK_TIMEOUT = 1,      /* the decoder did not answer in time */
    VELK_ERROR_LINK = 2,              /* the link failed: bad packets, or the line died */
    VELK_ERROR_INVALID_PACKET = 3,    /* a transfer answer that is not sound */
    VELK_ERROR_UNEXPECTED_PACKET = 4, /* a sound answer of the wrong kind */
    VELK_ERROR_WRITE_REFUSED = 5,     /* the decoder refused a write */
    VELK_ERROR_READ_REFUSED = 6       /* the decoder refused a read */
};

/* Kinds of log line (VELK_LogCallback). */
enum VELK_LogKind {
    VELK_LOG_LINK = 0,     /* the link log */
    VELK_LOG_TRANSFER = 1, /* the transfer log */
    VELK_LOG_SESSION = 2   /* a session's own notes (velk_log_callback only) */
};

/* Callbacks. Initialize resets the event and log callbacks (HLPSetEvent,
   SetLogEvent) to none, and Finalize drops them: install them after each
   Initialize. The error and idle callbacks (SetErrorEvent, SetIdleEvent) are
   process-wide: they survive Initialize and Finalize until replaced. Every
   callback runs synchronously on the thread that called Initialize, inside a
   library call (HLPWaitFor, ProcessMessages, or the export that failed).

   Calls from inside a callback. The library's own work is beneath a callback
   while it runs, so:
   - CloseComPort and Finalize are done once the library has left the
     callback: the exchange under way ends at once as failed (error
     VELK_ERROR_LINK; a running HLPWaitFor returns 0), and the port is closed,
     or the library finalized, when the library call that ran the callback
     returns (with a host message loop serving the library on Windows: at the
     loop's next round). CloseComPort returns 1 for that. After it the library
     works as before (after Finalize: from the next Initialize).
   - Initialize and OpenComPort are refused: they do nothing and return 0.
   - Any other call runs as usual; one that starts an exchange while another
     is under way gets the engine's busy error. */

/* Receives the transfer engine's events: a VELK_State entered (value 0) or a
   VELK_Progress event. */
typedef void(VELK_CALL *VELK_EventCallback)(int32_t code, int32_t value);
/* Receives log lines: kind is a VELK_LogKind; text is Windows-1252. */
typedef void(VELK_CALL *VELK_LogCallback)(int32_t kind, const char *text);
/* Shows an error text (Windows-1252) to the user: the library's error box.
   Without one, the library writes "Error: " and the text in UTF-8 as one line
   to standard error. */
typedef void(VELK_CALL *VELK_ErrorCallback)(const char *text);
/* Called while the library waits for the decoder, so a host can keep its
   windows alive. */
typedef void(VELK_CALL *VELK_IdleCallback)(void);

/* Library lifecycle and host callbacks. */
VELK_EXPORT void VELK_CALL Initialize(void);
VELK_EXPORT void VELK_CALL Finalize(void);
/* On Windows the system's <windows.h> declares a GetVersion(void) of its own:
   a file that includes it before this header reaches the export through
   GetProcAddress(module, "GetVersion") as a VELK_GetVersionFunction. */
typedef int32_t(VELK_CALL *VELK_GetVersionFunction)(char *buffer);
#if !defined(_WIN32) || !defined(_WINDOWS_)
VELK_EXPORT int32_t VELK_CALL GetVersion(char *buffer);
#endif
VELK_EXPORT VELK_LogCallback VELK_CALL SetLogEvent(VELK_LogCallback callback);
VELK_EXPORT VELK_EventCallback VELK_CALL HLPSetEvent(VELK_EventCallback callback);
VELK_EXPORT VELK_ErrorCallback VELK_CALL SetErrorEvent(VELK_ErrorCallback callback);

/* Serial port. GetComPort(-1, NULL) gives the number of the system's serial
   ports; GetComPort(i, buffer) the length of the i-th name (sorted ignoring
   case), counting one terminating zero, and, with a buffer of at least that
   length + 1 bytes, copies the name, that zero and one more. A failure shows the
   error box and returns -1. OpenComPort and CloseComPort return whether the port
   is open, respectively closed, afterwards. */
VELK_EXPORT int32_t VELK_CALL GetComPort(int32_t index, char *buffer);
VELK_EXPORT int32_t VELK_CALL OpenComPort(const char *name);
VELK_EXPORT int32_t VELK_CALL CloseComPort(void);
VELK_EXPORT int32_t VELK_CALL ComPortConnected(void);

/* The library's work (received bytes, time-outs) runs on the thread that called
   Initialize and OpenComPort, only while it handles its messages: inside
   HLPWaitFor, in ProcessMessages (handles what waits, without waiting), or in the
   host's own loop, woken when the descriptor of GetMessageHandle becomes
   readable (-1 before Initialize). On Windows any message loop of that thread
   serves the library (it has a message-only window there), and
   GetMessageHandle is an event handle, (HANDLE)(intptr_t)value, signalled while
   messages wait: for MsgWaitForMultipleObjects. */
VELK_EXPORT void VELK_CALL ProcessMessages(void);
VELK_EXPORT int32_t VELK_CALL GetMessageHandle(void);

/* Transfer functions. Each starting function returns 1 once its exchange has
   begun (0 after the error box); HLPWaitFor handles the calling thread's
   messages until the exchange has ended and returns 1 when it ended without
   error. Addresses are decoder addresses: 32-bit flash addresses, or offsets in
   the 8 KiB EEPROM. */
VELK_EXPORT int32_t VELK_CALL HLPReadFlash(uint32_t address, int32_t length);
VELK_EXPORT int32_t VELK_CALL HLPReadEeprom(uint32_t address, int32_t length);
VELK_EXPORT int32_t VELK_CALL HLPSendFlash(const void *data, uint32_t address, int32_t length);
VELK_EXPORT int32_t VELK_CALL HLPSendEeprom(const void *data, uint32_t address, int32_t length);
VELK_EXPORT int32_t VELK_CALL HLPSendFirmware(const void *data, int32_t length);
VELK_EXPORT int32_t VELK_CALL HLPSendSync(void);
VELK_EXPORT int32_t VELK_CALL HLPWaitFor(void);
/* The transfer engine's VELK_State; the VELK_Error of its last exchange. */
VELK_EXPORT int32_t VELK_CALL HLPGetState(void);
VELK_EXPORT int32_t VELK_CALL HLPGetError(void);
/* Size of the data of the last completed read; copies it when buffer is not null. */
VELK_EXPORT int32_t VELK_CALL HLPGetBuffer(void *buffer);
/* Installs the idle callback that waits call between rounds (at least every
   20 ms); returns the previous one. */
VELK_EXPORT VELK_IdleCallback VELK_CALL SetIdleEvent(VELK_IdleCallback callback);

/* Record functions: named items of the named records kept in the decoder's
   record area. RECRefresh reads the record directory again (full: only the low
   8 bits count; 0 reads just the item tables, items are then read when first
   needed); RECItemExists answers from what was read, without traffic;
   RECLoadItem puts an item's bytes in the library's result buffer, which
   RECGetBuffer returns the size of and copies when dest is not null (a failed
   load keeps the previous bytes); RECSaveItem writes size bytes as the item,
   replacing one of the same name. Failures show the error box and return 0. */
VELK_EXPORT int32_t VELK_CALL RECRefresh(int32_t full);
VELK_EXPORT int32_t VELK_CALL RECItemExists(const char *record, const char *item);
VELK_EXPORT int32_t VELK_CALL RECLoadItem(const char *record, const char *item);
VELK_EXPORT int32_t VELK_CALL RECSaveItem(const char *record, const char *item, const void *data, int32_t size);
VELK_EXPORT int32_t VELK_CALL RECGetBuffer(void *dest);

#ifdef __cplusplus
}
#endif

/* The session interface: one handle per decoder, result codes, UTF-8. */
#include "velksession.h"

#endif /* VELKLINK_H */
