#pragma once
// Base of every editor object: what the host's editor requests reach. The
// defaults describe an editor that has no window.

#include "plugin/AEffect.h"

class AudioEffect;

class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* owner) : effect(owner) {}
  virtual ~AEffEditor() = default;
  AEffEditor(const AEffEditor&) = delete;
  AEffEditor& operator=(const AEffEditor&) = delete;

  virtual AudioEffect* getEffect() { return effect; }
  virtual bool getRect(ERect** rect) {
    *rect = nullptr;
    return false;
  }
  virtual bool open(void* parentWindow) {
    systemWindow = parentWindow;
    return false;
  }
  virtual void close() { systemWindow = nullptr; }
  virtual bool isOpen() { return systemWindow != nullptr; }
  virtual void idle() {}
  virtual bool onKeyDown(VstKeyCode& /*key*/) { return false; }
  virtual bool onKeyUp(VstKeyCode& /*key*/) { return false; }
  virtual bool onWheel(float /*distance*/) { return false; }
  virtual bool setKnobMode(VstInt32 /*mode*/) { return false; }

 protected:
  AudioEffect* effect;         // not owned
  void* systemWindow = nullptr; // the host's parent window while open
};
