// The instance without any GUI: the editor is whatever the factory it is given
// makes, or none. What the library's own target plugs in must be attached,
// told of every parameter change and freed with the instance.

#include "plugin/AEffEditor.h"
#include "plugin/Quelmar.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

VstIntPtr VST_CALLBACK answeringHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

struct Seen {
  std::vector<VstInt32> changes;
  bool destroyed = false;
};
Seen seen;

class RecordingEditor : public AEffEditor {
 public:
  using AEffEditor::AEffEditor;
  ~RecordingEditor() override { seen.destroyed = true; }
};

EditorHooks makeRecordingEditor(Quelmar& effect) {
  return {new RecordingEditor(&effect), [](AEffEditor*, VstInt32 index, float) { seen.changes.push_back(index); }};
}

}  // namespace

TEST(EditorFactory, WithoutOneTheInstanceHasNoEditorAndStillTakesEveryParameter) {
  Quelmar effect(&answeringHost);
  EXPECT_EQ(effect.getEditor(), nullptr);
  EXPECT_EQ(effect.getAeffect()->flags & effFlagsHasEditor, 0);
  for (VstInt32 index = -1; index <= 4; ++index) effect.setParameter(index, 0.25f);
  EXPECT_EQ(effect.getParameter(Quelmar::kOutput), 0.25f);
}

TEST(EditorFactory, TheEditorItMakesIsAttachedToldOfEveryChangeAndFreed) {
  seen = {};
  {
    Quelmar effect(&answeringHost, &makeRecordingEditor);
    ASSERT_NE(effect.getEditor(), nullptr);
    EXPECT_NE(effect.getAeffect()->flags & effFlagsHasEditor, 0);
    effect.setParameter(Quelmar::kOutput, 0.5f);
    effect.setParameter(7, 0.5f);  // unknown indices reach the editor too
    effect.setParameter(Quelmar::kFaderLink, 1.0f);
    effect.setParameter(Quelmar::kThreshold, 0.5f);  // the link moves the output first
    EXPECT_EQ(seen.changes,
              (std::vector<VstInt32>{Quelmar::kOutput, 7, Quelmar::kFaderLink, Quelmar::kOutput, Quelmar::kThreshold}));
    EXPECT_FALSE(seen.destroyed);
  }
  EXPECT_TRUE(seen.destroyed);
}
