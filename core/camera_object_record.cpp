// Recording, run by the capture thread only: raw frame streams, AVI movies of
// the colour frames (rolled over to numbered files at the size limit) and
// float temperature streams.
#include <algorithm>
#include <cstring>
#include <new>

#include "core/camera_object.h"
#include "quvex_platform/clock.h"

namespace quvex {

namespace {

// The image's rows in reverse order, into out (stride x height bytes): the
// recorder keeps one such buffer instead of allocating a copy per frame.
void FlipImageCopy(const CDibImage& image, uint8_t* out) {
  const size_t stride = static_cast<size_t>(image.Stride());
  const int height = image.Height();
  for (int r = 0; r < height; ++r) {
    std::memcpy(out + r * stride, image.Bits() + static_cast<size_t>(height - 1 - r) * stride, stride);
  }
}

}  // namespace

CQuvex::RecordRequest CQuvex::SnapshotRecordRequest() {
  std::lock_guard lock(recordMutex_);
  return {recordType_.load(), recordName_};
}

int CQuvex::StartRecord(int type, const std::u16string& name) {
  if (type < QUVEX_REC_RAW || type > QUVEX_REC_TEMPERATURE) return 0;
  const int width = profile_.timing.activeWidth;
  const int height = profile_.timing.activeLines;
  // One buffer serves every kind: reordered raw rows, reordered colour rows
  // or a frame of temperatures.
  const size_t bytes = static_cast<size_t>(width) * height * 4;
  if (recorder_.frameBufferSize < bytes) {
    recorder_.frameBuffer.reset(new (std::nothrow) uint8_t[bytes]);
    recorder_.frameBufferSize = recorder_.frameBuffer ? bytes : 0;
    if (!recorder_.frameBuffer) return 0;
  }
  if (type == QUVEX_REC_AVI) {
    CAviWriter& avi = recorder_.avi;
    avi.SetWidth(width);
    avi.SetHeight(height);
    avi.SetBitsPerPixel(24);
    avi.SetRate(30);
    avi.SetFrameCount(0);
    if (avi.Open(name.c_str()) == 0) return 0;
  } else if (!recorder_.file.CreateWrite(name.c_str())) {
    return 0;
  }
  recorder_.failed = false;
  recorder_.startTime.store(std::max<uint32_t>(platform::TickCount(), 1));
  return 1;
}

void CQuvex::RecordFailed() {
  // Reported once; what was written so far is finished cleanly.
  if (recorder_.failed) return;
  recorder_.failed = true;
  recorder_.startTime.store(0);  // no record file is open any more (parameter 7)
  PushError(QUVEX_ERR_FILE);
  if (recorder_.avi.IsOpen()) {
    recorder_.avi.SetRate(0);
    recorder_.avi.Finish();
    recorder_.avi.Close();
  }
  recorder_.file.Close();
}

void CQuvex::RecordFrame(const FrameSlot& slot) {
  if (recorder_.failed) return;
  const bool fileFlip = fileFlip_.load() != 0;
  uint8_t* buffer = recorder_.frameBuffer.get();
  bool written = true;
  switch (recorder_.activeType) {
    case QUVEX_REC_RAW:
      if (!recorder_.file.IsOpen()) return;
      if (!fileFlip) FlipImageCopy(slot.raw, buffer);
      written = recorder_.file.Write(fileFlip ? slot.raw.Bits() : buffer,
                                     static_cast<uint32_t>(slot.raw.ByteSize())) != 0;
      break;
    case QUVEX_REC_AVI:
      if (!recorder_.avi.IsOpen()) return;
      if (fileFlip) FlipImageCopy(slot.colour, buffer);
      written = recorder_.avi.WriteFrame(fileFlip ? buffer : slot.colour.Bits()) != 0;
      if (written) recorder_.avi.SetFrameCount(recorder_.avi.FrameCount() + 1);
      break;
    case QUVEX_REC_TEMPERATURE: {
      if (!recorder_.file.IsOpen()) return;
      const size_t bytes = static_cast<size_t>(slot.raw.Width()) * slot.raw.Height() * 4;
      written = ToTemperatureFloat(&slot.raw, reinterpret_cast<float*>(buffer), fileFlip) != 0 &&
                recorder_.file.Write(buffer, static_cast<uint32_t>(bytes)) != 0;
      break;
    }
    default:
      return;
  }
  if (!written) RecordFailed();
}

int CQuvex::StopRecord(int type) {
  if (type < QUVEX_REC_RAW || type > QUVEX_REC_TEMPERATURE) return 0;
  bool closed = true;
  if (type == QUVEX_REC_AVI) {
    CAviWriter& avi = recorder_.avi;
    if (avi.IsOpen()) {
      // Frames x 100000 / elapsed ms is the measured rate x 100; with no time
      // elapsed the writer keeps its nominal rate.
      const uint32_t elapsed = platform::TickCount() - recorder_.startTime.load();
      const uint64_t rate = elapsed == 0 ? 0 : uint64_t{avi.FrameCount()} * 100000 / elapsed;
      avi.SetRate(static_cast<uint32_t>(std::min<uint64_t>(rate, UINT32_MAX)));
      closed = avi.Finish() != 0;
      avi.Close();
    }
  } else if (recorder_.file.IsOpen()) {
    closed = recorder_.file.Close() != 0;
  }
  if (!closed && !recorder_.failed) PushError(QUVEX_ERR_FILE);
  recorder_.startTime.store(0);
  return 1;
}

void CQuvex::RecordBegin() {
  const RecordRequest request = SnapshotRecordRequest();
  recorder_.activeType = request.type;
  recorder_.failed = false;
  if (request.type != 0 && StartRecord(request.type, request.name) == 0) {
    PushError(QUVEX_ERR_FILE);
  }
  recorder_.parts = RecordNameParts::Split(request.name);
  recorder_.startedName = request.name;
  recorder_.rollOver = 0;
}

void CQuvex::RecordStep(const FrameSlot& slot) {
  const RecordRequest request = SnapshotRecordRequest();
  if (recorder_.activeType != 0) {
    if (recorder_.activeType != request.type || recorder_.startedName != request.name) {
      StopRecord(recorder_.activeType);
      recorder_.rollOver = 0;
      recorder_.activeType = 0;
    } else {
      RecordFrame(slot);
      // Roll over at the size limit, and in any case before the movie's
      // 32-bit sizes could wrap.
      const CAviWriter& avi = recorder_.avi;
      const bool belowLimit =
          (avi.RiffSize() >> 20) < static_cast<uint32_t>(aviSizeLimit_.load()) &&
          (!avi.IsOpen() || avi.NextFrameFits());
      if (belowLimit) return;
      StopRecord(recorder_.activeType);
      ++recorder_.rollOver;
      recorder_.activeType = 0;
    }
  }
  if (request.type == 0) return;
  recorder_.activeType = request.type;
  recorder_.parts = RecordNameParts::Split(request.name);
  recorder_.startedName = request.name;
  const std::u16string file = recorder_.parts.FileName(request.name, recorder_.rollOver);
  if (StartRecord(request.type, file) == 0) PushError(QUVEX_ERR_FILE);
}

void CQuvex::RecordEnd() {
  if (recorder_.activeType != 0) StopRecord(recorder_.activeType);
  recorder_.activeType = 0;
}

}  // namespace quvex
