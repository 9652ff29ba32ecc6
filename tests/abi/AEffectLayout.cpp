// Compile-time checks of the binary interface's layout. Compiled natively
// (64-bit) and, when a 32-bit Windows cross compiler is present, for 32-bit.

#include "plugin/AEffect.h"

#include <cstddef>

#define CHECK_OFFSET(field, off32, off64) \
  static_assert(offsetof(AEffect, field) == (sizeof(void*) == 4 ? (off32) : (off64)), #field)

CHECK_OFFSET(magic, 0, 0);
CHECK_OFFSET(dispatcher, 4, 8);
CHECK_OFFSET(process, 8, 16);
CHECK_OFFSET(setParameter, 12, 24);
CHECK_OFFSET(getParameter, 16, 32);
CHECK_OFFSET(numPrograms, 20, 40);
CHECK_OFFSET(numParams, 24, 44);
CHECK_OFFSET(numInputs, 28, 48);
CHECK_OFFSET(numOutputs, 32, 52);
CHECK_OFFSET(flags, 36, 56);
CHECK_OFFSET(resvd1, 40, 64);
CHECK_OFFSET(resvd2, 44, 72);
CHECK_OFFSET(initialDelay, 48, 80);
CHECK_OFFSET(realQualities, 52, 84);
CHECK_OFFSET(offQualities, 56, 88);
CHECK_OFFSET(ioRatio, 60, 92);
CHECK_OFFSET(object, 64, 96);
CHECK_OFFSET(user, 68, 104);
CHECK_OFFSET(uniqueID, 72, 112);
CHECK_OFFSET(version, 76, 116);
CHECK_OFFSET(processReplacing, 80, 120);
CHECK_OFFSET(processDoubleReplacing, 84, 128);
CHECK_OFFSET(future, 88, 136);
static_assert(sizeof(AEffect) == (sizeof(void*) == 4 ? 144 : 192), "record size");

static_assert(sizeof(ERect) == 8 && offsetof(ERect, top) == 0 && offsetof(ERect, left) == 2 &&
                  offsetof(ERect, bottom) == 4 && offsetof(ERect, right) == 6,
              "ERect");
static_assert(offsetof(VstKeyCode, character) == 0 && offsetof(VstKeyCode, virt) == 4 &&
                  offsetof(VstKeyCode, modifier) == 5 && sizeof(VstKeyCode) == 8,
              "VstKeyCode");
static_assert(sizeof(VstIntPtr) == sizeof(void*), "pointer-sized integer");
static_assert(kEffectMagic == 0x56737450, "magic");

int main() { return 0; }
