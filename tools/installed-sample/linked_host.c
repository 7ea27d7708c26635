/* A host that links libGaldris.so directly instead of loading it: it creates
 * a camera object with a notify window, reads the image size and releases it. */
#include <stdio.h>

#include "quvex/quvex.h"
#include "quvex/quvex_window.h"

int main(void) {
  QuvexHwnd window = QuvexWindow_Create();
  const int handle = Quvex_Initialize(window);
  if (handle == 0) {
    fprintf(stderr, "Quvex_Initialize failed\n");
    return 1;
  }
  const int width = Quvex_GetParam(handle, QUVEX_PARAM_WIDTH);
  const int height = Quvex_GetParam(handle, QUVEX_PARAM_HEIGHT);
  printf("linked Galdris: %d x %d\n", width, height);
  const int released = Quvex_Release(handle);
  QuvexWindow_Destroy(window);
  return released == 1 && width == 640 && height == 480 ? 0 : 1;
}
