/* A C host of the simulated USB camera: sim_camera.cpp creates the camera
 * behind two C functions. The host links libGaldris.so directly, previews
 * and waits for the first frame. */
#include <stdio.h>

#include "quvex/quvex.h"
#include "quvex/quvex_window.h"

void* SimCamera_Start(void);
void SimCamera_Stop(void* camera);

int main(void) {
  void* camera = SimCamera_Start();
  if (camera == NULL) {
    fprintf(stderr, "the simulated camera did not start\n");
    return 1;
  }
  QuvexHwnd window = QuvexWindow_Create();
  const int handle = Quvex_Initialize(window);
  int frames = 0;
  if (handle != 0 && Quvex_Preview(handle) != 0) {
    QuvexMessage message;
    while (frames == 0 && QuvexWindow_GetMessage(window, &message, 5000) == 1) {
      if (message.message == WM_QUVEX_FRAME) frames = 1;
    }
  }
  printf("C host: %s from the simulated camera\n", frames ? "a frame" : "no frame");
  if (handle != 0) Quvex_Release(handle);
  QuvexWindow_Destroy(window);
  SimCamera_Stop(camera);
  return frames ? 0 : 1;
}
