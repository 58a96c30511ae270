// screenset: everything the screen uploader decides without a window toolkit.
//
//   screenresources.h  the six resource rows, their items in record "pictures",
//                      the file-choice dialogs and the uploader's messages
//   screensettings.h   the 64-byte settings item "ini" and the size values
//   screenupload.h     the upload plan (size check, items, progress steps) and
//                      its run against a TUploadTarget
//   screendump.h       the settings dump of record "SET" into a file
//   palettefile.h      16-entry palette files
//   screenfiles.h      whole-file reads and writes
//
// Every refusal is an EScreenSet (screenerror.h) whose message names the file
// or value at fault; nothing here talks to the decoder by itself.
#pragma once

#include "palettefile.h"
#include "screendump.h"
#include "screenerror.h"
#include "screenfiles.h"
#include "screenresources.h"
#include "screensettings.h"
#include "screenupload.h"
