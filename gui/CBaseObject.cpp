#include "CBaseObject.h"

namespace VSTGUI {

const char* const kMsgCheckIfViewContainer = "kMsgCheckIfViewContainer";
const char* const kMsgNewFocusView = "kMsgNewFocusView";
const char* const kMsgOldFocusView = "kMsgOldFocusView";

void CBaseObject::release() {
  if (nbReference-- == 1) delete this;
}

void CBaseObject::retain() { ++nbReference; }

std::int32_t CBaseObject::notify(CBaseObject*, const char*) { return 0; }

}  // namespace VSTGUI
