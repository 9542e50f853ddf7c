#include "ui/Surface.h"

#include <algorithm>
#include <cmath>

#include "ui/Colors.h"
#include "ui/Fonts.h"

Surface::Surface(Surface&& other) noexcept
    : dc_(std::move(other.dc_)),
      bitmap_(std::move(other.bitmap_)),
      previous_(std::exchange(other.previous_, nullptr)),
      pixels_(std::exchange(other.pixels_, nullptr)),
      width_(other.width_),
      height_(other.height_) {}

Surface& Surface::operator=(Surface&& other) noexcept {
    if (this != &other) {
        SurfaceDestroy(*this);
        dc_ = std::move(other.dc_);
        bitmap_ = std::move(other.bitmap_);
        previous_ = std::exchange(other.previous_, nullptr);
        pixels_ = std::exchange(other.pixels_, nullptr);
        width_ = other.width_;
        height_ = other.height_;
    }
    return *this;
}

Surface::~Surface() { SurfaceDestroy(*this); }

BITMAPINFO TopDownBitmapInfo(int32_t width, int32_t height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

Surface SurfaceCreate(int32_t width, int32_t height) {
    Surface s;
    s.width_ = std::max<int32_t>(1, width);
    s.height_ = std::max<int32_t>(1, height);
    s.dc_.reset(::CreateCompatibleDC(nullptr));
    BITMAPINFO info = TopDownBitmapInfo(s.width_, s.height_);
    void* bits = nullptr;
    s.bitmap_.reset(::CreateDIBSection(s.dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (s.bitmap_) {
        s.pixels_ = static_cast<uint32_t*>(bits);
        s.previous_ = ::SelectObject(s.dc_.get(), s.bitmap_.get());
    }
    ::SetBkMode(s.dc_.get(), TRANSPARENT);
    return s;
}

void SurfaceDestroy(Surface& s) {
    if (s.previous_ && s.dc_) ::SelectObject(s.dc_.get(), s.previous_);
    s.previous_ = nullptr;
    s.pixels_ = nullptr;
    s.bitmap_.reset();
    s.dc_.reset();
}

namespace {
// The rectangle clipped to the surface; false when nothing is left.
bool Clip(const Surface& s, const RECT& r, RECT& out) {
    out.left = std::max<LONG>(r.left, 0);
    out.top = std::max<LONG>(r.top, 0);
    out.right = std::min<LONG>(r.right, s.width());
    out.bottom = std::min<LONG>(r.bottom, s.height());
    return out.left < out.right && out.top < out.bottom;
}

uint32_t& PixelAt(Surface& s, int x, int y) { return s.pixels()[static_cast<size_t>(y) * s.width() + x]; }
}  // namespace

void SurfaceFill(Surface& s, const RECT& rect, COLORREF colour) {
    ::GdiFlush();  // text drawn before must be in the pixels
    RECT c;
    if (!s.pixels() || !Clip(s, rect, c)) return;
    const uint32_t p = ToPixel(colour);
    for (LONG y = c.top; y < c.bottom; ++y) std::fill(&PixelAt(s, c.left, y), &PixelAt(s, c.left, y) + (c.right - c.left), p);
}

void SurfaceRoundRect(Surface& s, const RECT& rect, int32_t radius, COLORREF fill, COLORREF border, int fillAlpha,
                      int borderAlpha) {
    ::GdiFlush();
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (!s.pixels() || w < 1 || h < 1 || (fill == NoColor && border == NoColor)) return;
    const int r = std::clamp<int32_t>(radius, 0, std::min(w, h) / 2);
    const float rf = static_cast<float>(r);
    const int bw = border != NoColor ? 1 : 0;
    const float ri = rf - bw;
    const uint32_t fillPixel = ToPixel(fill), borderPixel = ToPixel(border);
    RECT c;
    if (!Clip(s, rect, c)) return;
    for (LONG y = c.top; y < c.bottom; ++y) {
        const int ly = y - rect.top;
        for (LONG x = c.left; x < c.right; ++x) {
            const int lx = x - rect.left;
            const bool inner = lx >= bw && lx < w - bw && ly >= bw && ly < h - bw;
            uint32_t& px = PixelAt(s, x, y);
            const bool corner = (ly < r || ly >= h - r) && (lx < r || lx >= w - r);
            if (!corner) {
                if (inner) {
                    if (fill != NoColor) px = BlendPixel(px, fillPixel, fillAlpha);
                } else if (border != NoColor) {
                    px = BlendPixel(px, borderPixel, borderAlpha);
                }
                continue;
            }
            const float cx = lx < r ? rf : w - rf, cy = ly < r ? rf : h - rf;
            const float dx = lx + 0.5f - cx, dy = ly + 0.5f - cy;
            const float d = std::sqrt(dx * dx + dy * dy);
            const float outer = std::clamp(rf - d + 0.5f, 0.0f, 1.0f);
            if (outer == 0.0f) continue;
            float innerCov = 1.0f;
            if (bw) innerCov = ri >= 1.0f ? std::clamp(ri - d + 0.5f, 0.0f, 1.0f) : (inner ? 1.0f : 0.0f);
            const float fw = fill != NoColor ? innerCov * outer * fillAlpha / 255.0f : 0.0f;
            const float bwt = border != NoColor ? (1.0f - innerCov) * outer * borderAlpha / 255.0f : 0.0f;
            const float t = fw + bwt;
            if (t <= 0.004f) continue;
            uint32_t colour = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const float b = static_cast<float>((borderPixel >> shift) & 0xFF);
                const float f = static_cast<float>((fillPixel >> shift) & 0xFF);
                colour |= static_cast<uint32_t>((b * bwt + f * fw) / t + 0.5f) << shift;
            }
            px = BlendPixel(px, colour, static_cast<int>(t * 255.0f + 0.5f));
        }
    }
}

void SurfaceText(Surface& s, const wchar_t* text, int length, const RECT& rect, int slot, COLORREF colour,
                 UINT flags) {
    HFONT font = FontOf(slot);
    if (length <= 0 || rect.right <= rect.left || !font) return;
    ::SelectObject(s.dc(), font);
    ::SetTextColor(s.dc(), colour);
    RECT copy = rect;
    ::DrawTextW(s.dc(), text, length, &copy, flags);
}

void SurfaceDrawImage(Surface& s, const IconImage& image, int x, int y) {
    ::GdiFlush();
    if (!s.pixels() || image.side < 1) return;
    for (int row = 0; row < image.side; ++row) {
        const int ty = y + row;
        if (ty < 0 || ty >= s.height()) continue;
        for (int col = 0; col < image.side; ++col) {
            const int tx = x + col;
            const uint32_t p = image.pixels[static_cast<size_t>(row) * image.side + col];
            const uint32_t a = p >> 24;
            if (a == 0 || tx < 0 || tx >= s.width()) continue;
            uint32_t& t = PixelAt(s, tx, ty);
            uint32_t out = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t v = ((p >> shift) & 0xFF) + (((t >> shift) & 0xFF) * (255 - a) + 127) / 255;
                out |= std::min<uint32_t>(v, 255) << shift;
            }
            t = out;
        }
    }
}

void SurfaceBlit(const Surface& s, HDC target, int x, int y) {
    ::BitBlt(target, x, y, s.width(), s.height(), s.dc(), 0, 0, SRCCOPY);
}

IconImage IconImageFromIcon(HICON icon, int32_t n) {
    IconImage image;
    if (!icon || n < 1) return image;
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return image;
    BitmapHandle colour(info.hbmColor), mask(info.hbmMask);  // both deleted on every path
    if (!colour) return image;
    BITMAP bm{};
    if (!::GetObjectW(colour.get(), sizeof bm, &bm) || bm.bmWidth < 1 || bm.bmHeight < 1) return image;
    const int W = bm.bmWidth, H = bm.bmHeight;
    std::vector<uint32_t> src(static_cast<size_t>(W) * H);
    BITMAPINFO bi = TopDownBitmapInfo(W, H);
    if (!::GetDIBits(MeasuringDC(), colour.get(), 0, H, src.data(), &bi, DIB_RGB_COLORS)) return image;
    const bool hasAlpha = std::any_of(src.begin(), src.end(), [](uint32_t p) { return (p >> 24) != 0; });
    image.side = n;
    image.pixels.assign(static_cast<size_t>(n) * n, 0);
    for (int ty = 0; ty < n; ++ty) {
        const int y0 = ty * H / n, y1 = std::min(H, std::max(y0 + 1, (ty + 1) * H / n));
        for (int tx = 0; tx < n; ++tx) {
            const int x0 = tx * W / n, x1 = std::min(W, std::max(x0 + 1, (tx + 1) * W / n));
            uint64_t sa = 0, sr = 0, sg = 0, sb = 0, count = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    const uint32_t p = src[static_cast<size_t>(y) * W + x];
                    const uint64_t a = hasAlpha ? p >> 24 : 255;
                    sa += a;
                    sr += ((p >> 16) & 0xFF) * a;
                    sg += ((p >> 8) & 0xFF) * a;
                    sb += (p & 0xFF) * a;
                    ++count;
                }
            if (count == 0) continue;
            image.pixels[static_cast<size_t>(ty) * n + tx] =
                static_cast<uint32_t>((sa / count) << 24 | (sr / (count * 255)) << 16 | (sg / (count * 255)) << 8 |
                                      (sb / (count * 255)));
        }
    }
    return image;
}
