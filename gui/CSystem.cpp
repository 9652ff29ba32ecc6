#include "CSystem.h"

#include "platform/Platform.h"
#include "platform/PlatformWindow.h"

namespace VSTGUI {

std::uint32_t CSystem::tickCount() { return platform::tickCount(); }

void CSystem::sleep(std::uint32_t milliseconds) { platform::sleep(milliseconds); }

void CSystem::dispatchPendingPaint() { platform::dispatchPendingPaint(); }

void CSystem::oleInitialize() { platform::oleInitialize(); }

void CSystem::oleUninitialize() { platform::oleUninitialize(); }

}  // namespace VSTGUI
