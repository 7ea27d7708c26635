// The frame replies of the simulated LAN camera, gathered from sample runs
// rendered once: every row of every frame is a stretch of one ramp, so a
// reply is sent straight from it without building the frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quvex::sim {

// Sends header (headerBytes) and then the first frameBytes bytes (at most a
// whole frame) of the n-th frame served. false when the peer is gone.
bool SendLanFrame(int fd, const uint8_t* header, size_t headerBytes, uint32_t frame,
                  size_t frameBytes);

}  // namespace quvex::sim
