// The library's editor factory in a build without the GUI: no editor.

#include "plugin/Quelmar.h"

EditorHooks createQuelmarEditor(Quelmar&) { return {}; }
