#include "app/engine.h"

namespace rur {

UpgradeDeviceFacts Engine::UpgradeFacts(unsigned position) const {
  UpgradeDeviceFacts facts;
  if (position >= devices.currentCount) return facts;
  facts.controllerKind = devices.currentInfo[position].controllerKind;
  facts.identify = previousIdentity[DriveOf(devices.current[position])];
  return facts;
}

}  // namespace rur
