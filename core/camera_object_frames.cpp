// Frame access by id and still-image saving of the current frame. Raw and
// colour images of a slot hold their rows in opposite orders; every output
// copies one straight and the other reversed, so that raw data, temperatures
// and pictures come out in the same row order (parameters 17 and 18).
#include <cstring>
#include <memory>
#include <new>

#include "core/camera_object.h"
#include "imaging/file_buffer.h"
#include "imaging/image_writers.h"
#include "quvex_platform/clock.h"

namespace quvex {

namespace {

void CopyRows(const CDibImage& image, bool reversed, uint8_t* out) {
  const size_t stride = static_cast<size_t>(image.Stride());
  const int height = image.Height();
  if (!reversed) {
    std::memcpy(out, image.Bits(), image.ByteSize());
    return;
  }
  for (int r = 0; r < height; ++r) {
    std::memcpy(out + r * stride, image.Bits() + static_cast<size_t>(height - 1 - r) * stride, stride);
  }
}

// A copy of image in the given row order; false when memory runs out.
bool CopyImage(const CDibImage& image, bool reversed, CDibImage& copy) {
  if (copy.CopyFrom(&image) == 0 || copy.Bits() == nullptr) return false;
  CopyRows(image, reversed, copy.Bits());
  return true;
}

// A host buffer of size bytes holds needed bytes; a negative size never does.
bool FitsIn(const void* buffer, int size, size_t needed) {
  return buffer != nullptr && size >= 0 && static_cast<uint32_t>(size) >= needed;
}

}  // namespace

int CQuvex::GetNewID() {
  if (!DeviceCheck()) return 0;
  std::lock_guard lock(lock_);
  if (ring_.Size() == 0) return 0;
  return ring_[currentIndex_.load()].frameId.load();
}

template <class Copy>
int CQuvex::WithFrame(int frameId, Copy&& copy) {
  FrameSlot* slot = ring_.Find(frameId);
  if (slot == nullptr) return PushError(QUVEX_ERR_ARGUMENT), 0;
  std::lock_guard lock(slot->mutex);
  // The capture thread may have taken the slot for a new frame meanwhile.
  if (frameId == 0 || slot->frameId.load() != frameId) return PushError(QUVEX_ERR_ARGUMENT), 0;
  return copy(*slot);
}

int CQuvex::GetRaw(int frameId, void* buffer, int size) {
  if (!DeviceCheck()) return 0;
  return WithFrame(frameId, [&](FrameSlot& slot) {
    if (!FitsIn(buffer, size, slot.raw.ByteSize())) return PushError(QUVEX_ERR_BUFFER), 0;
    CopyRows(slot.raw, viewFlip_.load() == 0, static_cast<uint8_t*>(buffer));
    return 1;
  });
}

int CQuvex::GetColor(int frameId, void* buffer, int size) {
  if (!DeviceCheck()) return 0;
  return WithFrame(frameId, [&](FrameSlot& slot) {
    if (!FitsIn(buffer, size, slot.colour.ByteSize())) return PushError(QUVEX_ERR_BUFFER), 0;
    CopyRows(slot.colour, viewFlip_.load() != 0, static_cast<uint8_t*>(buffer));
    return 1;
  });
}

int CQuvex::GetTemperature(int frameId, float* buffer, int size) {
  if (!DeviceCheck()) return 0;
  return WithFrame(frameId, [&](FrameSlot& slot) {
    const size_t needed = static_cast<size_t>(slot.raw.Width()) * slot.raw.Height() * sizeof(float);
    if (!FitsIn(buffer, size, needed)) return PushError(QUVEX_ERR_BUFFER), 0;
    if (ToTemperatureFloat(&slot.raw, buffer, viewFlip_.load()) == 0) {
      return PushError(QUVEX_ERR_BUFFER), 0;
    }
    return 1;
  });
}

FrameSlot& CQuvex::LockCurrentSlot(std::unique_lock<std::mutex>& lock) {
  for (;;) {
    FrameSlot& slot = ring_[CurrentIndex()];
    lock = std::unique_lock(slot.mutex);
    if (!slot.filling) return slot;
    // The index was read so long ago that the ring came round to this slot
    // again; the current one is another, unless the ring has a single slot.
    lock.unlock();
    if (ring_.Size() == 1) platform::SleepMs(1);
  }
}

int CQuvex::Save(const char16_t* name, int saveType) {
  if (!DeviceCheck()) return 0;
  if (ring_.Size() == 0) return PushError(QUVEX_ERR_NOT_READY), 0;
  std::unique_lock<std::mutex> slotLock;
  FrameSlot& slot = LockCurrentSlot(slotLock);
  if (slot.raw.Bits() == nullptr || slot.colour.Bits() == nullptr) {
    return PushError(QUVEX_ERR_NOT_READY), 0;  // no frame image exists yet
  }
  if (static_cast<uint32_t>(saveType) > QUVEX_SAVE_TEMP_FLOAT) {
    return PushError(QUVEX_ERR_ARGUMENT), 0;
  }
  if (saveType >= QUVEX_SAVE_TEMP_INT8) {
    const int error = SaveTemperatures(name, slot, slotLock, saveType);
    return error == 0 ? 1 : (PushError(error), 0);
  }
  // The slot is copied, then written without its lock, so a slow encoder
  // never holds up the capture thread.
  const bool fileFlip = fileFlip_.load() != 0;
  const bool colour = saveType <= QUVEX_SAVE_TIFF;
  CDibImage copy;
  const bool copied = colour ? CopyImage(slot.colour, fileFlip, copy)
                             : CopyImage(slot.raw, !fileFlip, copy);
  slotLock.unlock();
  if (!copied) return PushError(QUVEX_ERR_BUFFER), 0;
  static constexpr uint32_t kRawFormat[] = {kImageFileBareBits, kImageFilePng, kImageFileTiff};
  const uint32_t format = colour ? static_cast<uint32_t>(saveType)
                                 : kRawFormat[saveType - QUVEX_SAVE_RAW16];
  if (SaveImageFile(name, &copy, format) == 0) return PushError(QUVEX_ERR_FILE), 0;
  return 1;
}

int CQuvex::SaveTemperatures(const char16_t* name, FrameSlot& slot,
                             std::unique_lock<std::mutex>& slotLock, int saveType) {
  static constexpr size_t kElementSize[] = {1, 1, 4, 4};
  const CDibImage& raw = slot.raw;
  const size_t count = static_cast<size_t>(raw.Width()) * raw.Height();
  const size_t bytes = count * kElementSize[saveType - QUVEX_SAVE_TEMP_INT8];
  std::unique_ptr<uint8_t[]> values(new (std::nothrow) uint8_t[bytes]);
  if (!values) return QUVEX_ERR_BUFFER;
  const int flip = fileFlip_.load();
  int converted = 0;
  switch (saveType) {
    case QUVEX_SAVE_TEMP_INT8:
      converted = ToTemperatureInt8(&raw, reinterpret_cast<int8_t*>(values.get()), flip);
      break;
    case QUVEX_SAVE_TEMP_UINT8:
      converted = ToTemperatureUInt8(&raw, values.get(), flip);
      break;
    case QUVEX_SAVE_TEMP_INT32:
      converted = ToTemperatureInt32(&raw, reinterpret_cast<int32_t*>(values.get()), flip);
      break;
    default:
      converted = ToTemperatureFloat(&raw, reinterpret_cast<float*>(values.get()), flip);
      break;
  }
  slotLock.unlock();
  if (converted == 0) return QUVEX_ERR_FILE;
  // A failed or short write is reported like a file that cannot be created.
  CFileBuffer file;
  if (!file.CreateWrite(name)) return QUVEX_ERR_FILE;
  const bool written = file.Write(values.get(), static_cast<uint32_t>(bytes)) != 0;
  return written && file.Close() != 0 ? 0 : QUVEX_ERR_FILE;
}

}  // namespace quvex
