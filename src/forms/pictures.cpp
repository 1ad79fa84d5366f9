#include "forms/pictures.h"

#include <algorithm>
#include <cmath>

namespace zorvane {

namespace {

struct TColor {
  uint8_t r, g, b, a = 255;
};

// (std::hypot would ask for a newer glibc than the library may.)
double Distance(double dx, double dy) {
  return std::sqrt(dx * dx + dy * dy);
}

class TCanvas {
 public:
  TCanvas(int width, int height, double scale) : F{width, height, {}}, FScale(scale) {
    F.Rgba.assign(static_cast<size_t>(width) * height * 4, 0);
  }
  // Shapes in design units (scaled); a pixel is painted when its centre is inside.
  void Rect(double x0, double y0, double x1, double y1, TColor c) {
    Paint(c, [&](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; });
  }
  void Disc(double cx, double cy, double radius, TColor c) {
    Paint(c, [&](double x, double y) { return Distance(x - cx, y - cy) <= radius; });
  }
  // A stroke from (x0, y0) to (x1, y1), width w.
  void Line(double x0, double y0, double x1, double y1, double w, TColor c) {
    Paint(c, [&](double x, double y) {
      const double dx = x1 - x0, dy = y1 - y0;
      const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
      return Distance(x - (x0 + t * dx), y - (y0 + t * dy)) <= w / 2;
    });
  }
  TPicture Take() { return std::move(F); }

 private:
  template <typename Inside>
  void Paint(TColor c, Inside inside) {
    for (int py = 0; py < F.Height; ++py) {
      for (int px = 0; px < F.Width; ++px) {
        if (!inside((px + 0.5) / FScale, (py + 0.5) / FScale)) continue;
        uint8_t* p = &F.Rgba[(static_cast<size_t>(py) * F.Width + px) * 4];
        p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
      }
    }
  }
  TPicture F;
  double FScale;
};

}  // namespace

TPicture CameraPicture(int size, bool failed) {
  TCanvas c(size, size, size / 48.0);
  const TColor body{70, 78, 90}, edge{40, 45, 52}, ring{190, 196, 204}, glass{30, 60, 110},
      shine{150, 190, 240}, led{220, 50, 40};
  c.Rect(14, 9, 26, 15, edge);
  c.Rect(4, 14, 44, 41, edge);
  c.Rect(5, 15, 43, 40, body);
  c.Disc(24, 27.5, 11, ring);
  c.Disc(24, 27.5, 8, glass);
  c.Disc(21.5, 25, 2.5, shine);
  c.Disc(38, 19, 1.8, led);
  if (failed) {
    const TColor red{200, 30, 30}, white{255, 255, 255};
    c.Disc(37, 37, 10, white);
    c.Disc(37, 37, 8.5, red);
    c.Line(33, 33, 41, 41, 2.6, white);
    c.Line(41, 33, 33, 41, 2.6, white);
  }
  return c.Take();
}

TPicture ErrorPicture(int size) {
  TCanvas c(size, size, size / 32.0);
  const TColor red{200, 30, 30}, white{255, 255, 255};
  c.Disc(16, 16, 15, red);
  c.Line(10, 10, 22, 22, 3.5, white);
  c.Line(22, 10, 10, 22, 3.5, white);
  return c.Take();
}

TPicture FolderPicture() {
  TCanvas c(16, 16, 1.0);
  const TColor edge{170, 120, 20}, paper{248, 206, 80}, arrow{40, 150, 50};
  c.Rect(1, 2, 7, 5, edge);
  c.Rect(1, 4, 15, 14, edge);
  c.Rect(2, 5, 14, 13, paper);
  c.Line(5, 9.5, 12, 9.5, 2, arrow);
  c.Line(9, 6.5, 12.2, 9.5, 2, arrow);
  c.Line(9, 12.5, 12.2, 9.5, 2, arrow);
  return c.Take();
}

}  // namespace zorvane
