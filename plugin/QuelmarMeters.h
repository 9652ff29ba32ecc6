#pragma once
// The instance's meters for a format that shows them outside the editor: as
// control outputs a host can display (LV2), or handed to the editor of
// another instance that runs no audio of its own (an LV2 UI, which may live
// in another process and hears of the audio only through those outputs).
// Reached through the record the entry point gave, like everything else a
// format does with the instance; the units are the ones hosts show.

#include "plugin/AEffect.h"

namespace QuelmarMeters {

struct Reading {
  float inputPeakDb[2];  // largest input magnitude since the last take, dBFS; -60.2 is silence
  float reductionDb;     // how far the gain envelope stands above the threshold, 0 or more
};

// The meters since the last take; the input peaks start again from silence.
// False for a record that is no Quelmar.
bool take(AEffect* record, Reading& reading);

// Hands a reading taken elsewhere to this instance's meters, as its engine
// would have left it, for its editor's next idle step to show.
bool show(AEffect* record, const Reading& reading);

}  // namespace QuelmarMeters
