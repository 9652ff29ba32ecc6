#pragma once

#include <cstdint>

namespace VSTGUI {

// Messages are compared by address, never by content: a listener tests
// `message == kMsgNewFocusView`, so only these constants carry a meaning.
extern const char* const kMsgCheckIfViewContainer;
extern const char* const kMsgNewFocusView;
extern const char* const kMsgOldFocusView;

class CBaseObject {
 public:
  CBaseObject() = default;
  // A copy is a new object with its own single reference.
  CBaseObject(const CBaseObject&) {}
  CBaseObject& operator=(const CBaseObject&) = delete;

  virtual ~CBaseObject() = default;
  virtual void release();
  virtual void retain();
  // Answers 0 for a message it does not understand.
  virtual std::int32_t notify(CBaseObject* sender, const char* message);

  std::int32_t getNbReference() const { return nbReference; }

 private:
  std::int32_t nbReference = 1;
};

}  // namespace VSTGUI
