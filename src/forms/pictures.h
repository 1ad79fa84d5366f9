// The windows' pictures, drawn in code so that they need no files and no
// icon theme: a camera (also crossed out, for a camera whose queries failed)
// and a yellow folder with a green arrow.
#pragma once

#include <cstdint>
#include <vector>

namespace zorvane {

struct TPicture {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgba;  // rows top to bottom, 4 bytes a pixel
};

TPicture CameraPicture(int size, bool failed = false);
TPicture FolderPicture();  // 16 x 16
TPicture ErrorPicture(int size);  // a white cross on a red disc

}  // namespace zorvane
