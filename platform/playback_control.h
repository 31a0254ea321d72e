// Playback and recording operations of the support layer that the TAP API does not offer,
// built on the firmware's playback and folder hooks and its recording-slot table.
#pragma once

#include "platform/tap_api.h"

// Plays a file given by its absolute PVR path ("/mnt/hd/MediaFiles/Film.mkv"): the file's
// folder becomes the firmware's work folder for the start (the previous one is restored
// afterwards); a file with a recording header beside it (path + ".inf") is started as a
// recording, any other as a media file. 1 when playback started, 0 when the firmware
// refused it or a hook is missing; the folder selection's error code (non-zero, not 1)
// when the folder cannot be selected.
int PlayMediaFile(const char *path);

// Changes the duration (minutes) of the recording in a slot of the recording-slot table
// ("_pvrRecInfo", entries of the timer entry size, the duration as u16 at byte 6). 1 when
// the slot is one of the model's and is recording (duration non-zero), else 0.
int HDD_RECSlotSetDuration(int slot, word minutes);
