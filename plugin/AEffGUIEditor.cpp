#include "plugin/AEffGUIEditor.h"

#include <algorithm>

#include "gui/CFrame.h"
#include "gui/CSystem.h"
#include "plugin/AudioEffectX.h"

std::int32_t AEffGUIEditor::knobMode = 0;

namespace {
VSTGUI::CKeyCode toFrameKey(const VstKeyCode& key) {
  VSTGUI::CKeyCode code;
  code.character = key.character;
  code.virt = key.virt;
  code.modifier = key.modifier;
  return code;
}
}  // namespace

AEffGUIEditor::AEffGUIEditor(AudioEffect* owner) : AEffEditor(owner), lastIdleTicks(VSTGUI::CSystem::tickCount()) {
  if (effect) effect->setEditor(this);
  VSTGUI::CSystem::oleInitialize();
}

AEffGUIEditor::~AEffGUIEditor() { VSTGUI::CSystem::oleUninitialize(); }

bool AEffGUIEditor::getRect(ERect** out) {
  *out = &rect;
  return true;
}

void AEffGUIEditor::idle() {
  // The host's idle request arrives again while idle processing waits for the
  // host's answer; running the frame then would nest the passes.
  if (inIdleProcessing) return;
  if (frame) frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& key) { return frame && frame->keyDown(toFrameKey(key)) > 0; }

bool AEffGUIEditor::onKeyUp(VstKeyCode& key) { return frame && frame->keyUp(toFrameKey(key)) > 0; }

bool AEffGUIEditor::setKnobMode(VstInt32 mode) {
  knobMode = mode;
  return true;
}

std::int32_t AEffGUIEditor::getKnobMode() const { return knobMode; }

void AEffGUIEditor::draw(ERect* area) {
  if (!frame) return;
  VSTGUI::CRect r = frame->getBounds();
  if (area) {
    r = VSTGUI::CRect(std::min(area->left, area->right), std::min(area->top, area->bottom),
                      std::max(area->left, area->right), std::max(area->top, area->bottom));
  }
  // Without a context of its own the frame makes one for its window.
  frame->drawRect(nullptr, r);
}

void AEffGUIEditor::idleProcessing() {
  // Unsigned comparisons throughout: a wrap of the tick count is taken as it
  // comes, at worst one pass early or late.
  std::uint32_t now = VSTGUI::CSystem::tickCount();
  if (now < lastIdleTicks) {
    VSTGUI::CSystem::sleep(kEarlyCallSleep);
    now += kEarlyCallSleep;
    if (now < lastIdleTicks - kIdleTolerance) return;
  }
  idle();
  VSTGUI::CSystem::dispatchPendingPaint();
  lastIdleTicks = now + kIdleInterval;
  inIdleProcessing = true;
  if (effect) effect->masterIdle();
  inIdleProcessing = false;
}

void AEffGUIEditor::beginEdit(std::int32_t index) {
  if (auto* fx = dynamic_cast<AudioEffectX*>(effect)) fx->beginEdit(index);
}

void AEffGUIEditor::endEdit(std::int32_t index) {
  if (auto* fx = dynamic_cast<AudioEffectX*>(effect)) fx->endEdit(index);
}
