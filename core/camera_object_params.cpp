// Parameters and the camera registers they write.
#include "core/camera_object.h"

namespace quvex {

int CQuvex::GetParam(int id) {
  switch (id) {
    case QUVEX_PARAM_WIDTH: return profile_.timing.activeWidth;
    case QUVEX_PARAM_HEIGHT: return profile_.timing.activeLines;
    case QUVEX_PARAM_FRAME_RATE: return frameRate_.load();
    case QUVEX_PARAM_RECORD_TYPE: return recordType_.load();
    case QUVEX_PARAM_CAPTURING: return captureState_.load() == 1 ? 1 : 0;
    case QUVEX_PARAM_PAUSED: return paused_.load();
    case QUVEX_PARAM_RECORDING: return recorder_.startTime.load() != 0 ? 1 : 0;
    case QUVEX_PARAM_RING_SLOTS: return ringSlots_;
    case QUVEX_PARAM_LOOP_SLEEP: return loopSleep_.load();
    case QUVEX_PARAM_NUC_SETTLE: return nucSettle_.load();
    case QUVEX_PARAM_AVI_SIZE_LIMIT: return aviSizeLimit_.load();
    case QUVEX_PARAM_AUTO_RANGE: return autoRangeCount_.load();
    case QUVEX_PARAM_RANGE_LOW: return rangeLow_.load();
    case QUVEX_PARAM_RANGE_HIGH: return rangeHigh_.load();
    case QUVEX_PARAM_SWITCH: return switchFlag_.load();
    case QUVEX_PARAM_RANGE_MODE: return rangeMode_.load();
    case QUVEX_PARAM_VIEW_FLIP: return viewFlip_.load();
    case QUVEX_PARAM_FILE_FLIP: return fileFlip_.load();
    default: return PushError(QUVEX_ERR_ARGUMENT), 0;
  }
}

int CQuvex::SetParam(int id, int value) {
  switch (id) {
    case QUVEX_PARAM_RING_SLOTS:
      // The ring is sized at initialisation, so through the interface this
      // is always refused; the value only counts while the ring holds nothing.
      if (ring_.Size() != 0) return PushError(QUVEX_ERR_ARGUMENT), 0;
      ringSlots_ = value;
      return 1;
    case QUVEX_PARAM_LOOP_SLEEP: loopSleep_.store(value); return 1;
    case QUVEX_PARAM_NUC_SETTLE: nucSettle_.store(value); return 1;
    case QUVEX_PARAM_AVI_SIZE_LIMIT: aviSizeLimit_.store(value); return 1;
    case QUVEX_PARAM_AUTO_RANGE: autoRangeCount_.store(value); return 1;
    case QUVEX_PARAM_RANGE_LOW: rangeLow_.store(value); return 1;
    case QUVEX_PARAM_RANGE_HIGH: rangeHigh_.store(value); return 1;
    case QUVEX_PARAM_SWITCH: return SetRegister7Flag(value);
    case QUVEX_PARAM_RANGE_MODE: return SetRangeMode(value);
    case QUVEX_PARAM_VIEW_FLIP: viewFlip_.store(value); return 1;
    case QUVEX_PARAM_FILE_FLIP: fileFlip_.store(value); return 1;
    default: return PushError(QUVEX_ERR_ARGUMENT), 0;  // unknown, or read-only (1 to 7)
  }
}

int CQuvex::SetRegister7Flag(int flag) {
  device_->WriteRegister(QUVEX_REG_SWITCH, flag != 0 ? 0 : 1);
  switchFlag_.store(flag != 0 ? 1 : 0);
  return 1;
}

int CQuvex::SetRangeMode(int mode) {
  static constexpr int kRegisterValue[] = {16, 0, 1};
  if (mode < QUVEX_RANGE_DEFAULT || mode > QUVEX_RANGE_HIGH) {
    return PushError(QUVEX_ERR_ARGUMENT), 0;
  }
  // A failed register write leaves the table and the mode to change all the same.
  device_->WriteRegister(QUVEX_REG_RANGE, kRegisterValue[mode]);
  if (profile_.tables == TableSet::ReloadedSingle) ReloadBuiltInTable(mode);
  rangeMode_.store(mode);
  return 1;
}

}  // namespace quvex
