/*
 * velklink.h - the C interface of libvelklink.so.
 *
 * The library speaks the serial protocol of the decoder: a link layer of
 * checksummed, acknowledged DATA packets, a transfer layer (sync, flash and
 * EEPROM reads and writes, firmware upload) and a record store. A host calls
 * Initialize once, opens the port, runs its exchanges and calls Finalize.
 *
 * Truth values are 0 or 1 in a whole 32-bit value. Texts are zero-terminated
 * single-byte strings in the Windows-1252 code page.
 */
#ifndef VELKLINK_H
#define VELKLINK_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VELK_CALL __stdcall
#else
#define VELK_CALL
#endif

#if defined(_WIN32)
#define VELK_EXPORT __declspec(dllexport)
#elif defined(VELK_BUILDING_LIBRARY)
#define VELK_EXPORT __attribute__((visibility("default")))
#else
#define VELK_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Receives the transfer engine's events: code 0..7 (state entered), 11/12
   (read progress), 14/15 (write progress). */
typedef void(VELK_CALL *VELK_EventCallback)(int32_t code, int32_t value);
/* Receives log lines: kind 0 for the link log, 1 for the transfer log. */
typedef void(VELK_CALL *VELK_LogCallback)(int32_t kind, const char *text);
/* Shows an error text to the user (the library's error box). */
typedef void(VELK_CALL *VELK_ErrorCallback)(const char *text);
/* Called while the library waits for the decoder, so a host can keep its
   windows alive. */
typedef void(VELK_CALL *VELK_IdleCallback)(void);

/* Library lifecycle and host callbacks. */
VELK_EXPORT void VELK_CALL Initialize(void);
VELK_EXPORT void VELK_CALL Finalize(void);
VELK_EXPORT int32_t VELK_CALL GetVersion(char *buffer);
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
   readable (-1 before Initialize). */
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
/* State 0..7 of the transfer engine; error 0..6 of its last exchange. */
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

#endif /* VELKLINK_H */
