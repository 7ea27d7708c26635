// The recording state of a camera object. The host only stores a request
// (type and name); the capture thread opens, feeds, rolls over and closes
// the record, frame by frame, working from a snapshot of that request.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "imaging/avi_writer.h"
#include "imaging/file_buffer.h"

namespace quvex {

// A record file name split into its folder, base name and extension, so that
// roll-over files can be named base_1.ext, base_2.ext, ... in the same folder.
struct RecordNameParts {
  std::u16string folder;     // with its trailing separator
  std::u16string base;
  std::u16string extension;  // with its dot

  static RecordNameParts Split(const std::u16string& name);
  // The n-th file of a recording: the name itself for 0, else base_n.
  std::u16string FileName(const std::u16string& name, int n) const;
};

struct CRecorder {
  std::atomic<uint32_t> startTime{0};  // 0 while no record is open (parameter 7)
  CAviWriter avi;
  CFileBuffer file;

  // Capture-thread state.
  int activeType = 0;
  std::u16string startedName;
  RecordNameParts parts;
  int rollOver = 0;
  bool failed = false;  // a write failed: reported once, nothing more is written
  std::unique_ptr<uint8_t[]> frameBuffer;  // reordered rows or temperatures
  size_t frameBufferSize = 0;
};

}  // namespace quvex
