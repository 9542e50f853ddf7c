#include "ui/Icons.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "ui/Colors.h"
#include "ui/IconPaths.h"
#include "ui/Surface.h"

namespace {
bool IsSeparator(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\n'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool Finite(IconPoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Cuts a path into numbers and letters the way strtof reads it; the path is
// copied once so that every read stops at a terminating NUL.
class PathReader {
public:
    explicit PathReader(std::string_view path) : text_(path) {}
    void skipSeparators() {
        while (pos_ < text_.size() && IsSeparator(text_[pos_])) ++pos_;
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }
    void advance() { ++pos_; }
    size_t position() const { return pos_; }
    // An unreadable number counts as 0 and consumes nothing.
    float number() {
        skipSeparators();
        const char* begin = text_.c_str() + pos_;
        // strtof would skip other white space (CR among it); here it ends
        // the number.
        if (*begin == '\r' || *begin == '\v' || *begin == '\f') return 0.0f;
        char* end = nullptr;
        const float v = std::strtof(begin, &end);
        if (end == begin) return 0.0f;
        pos_ += static_cast<size_t>(end - begin);
        return v;
    }

private:
    std::string text_;
    size_t pos_ = 0;
};

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr int kMostArcSegments = 64;  // a full turn needs 32; more only from absurd numbers

void AppendArc(IconPolygon& poly, IconPoint from, float rx, float ry, float rotation, bool large, bool sweep,
               IconPoint to) {
    if (std::fabs(rx) < 0.0001f || std::fabs(ry) < 0.0001f || (from.x == to.x && from.y == to.y)) {
        poly.push_back(to);
        return;
    }
    rx = std::fabs(rx);
    ry = std::fabs(ry);
    const float phi = rotation * kPi / 180.0f;
    const float c = std::cos(phi), s = std::sin(phi);
    const float dx = (from.x - to.x) / 2, dy = (from.y - to.y) / 2;
    const float xp = c * dx + s * dy, yp = c * dy - s * dx;
    const float lambda = xp * xp / (rx * rx) + yp * yp / (ry * ry);
    if (lambda > 1) {
        const float root = std::sqrt(lambda);
        rx *= root;
        ry *= root;
    }
    const float den = rx * rx * yp * yp + ry * ry * xp * xp;
    float k = den <= 0 ? 0.0f : std::sqrt(std::max((rx * rx * ry * ry - rx * rx * yp * yp - ry * ry * xp * xp) / den, 0.0f));
    if (large == sweep) k = -k;
    const float cxp = k * rx * yp / ry, cyp = -k * ry * xp / rx;
    const float cx = c * cxp - s * cyp + (from.x + to.x) / 2, cy = s * cxp + c * cyp + (from.y + to.y) / 2;
    const float t1 = std::atan2((yp - cyp) / ry, (xp - cxp) / rx);
    const float t2 = std::atan2((-yp - cyp) / ry, (-xp - cxp) / rx);
    float delta = t2 - t1;
    if (!sweep && delta > 0) delta -= kTwoPi;
    if (sweep && delta < 0) delta += kTwoPi;
    // A non-finite angle would ask for an unbounded number of segments.
    const float wanted = std::ceil(std::fabs(delta) / 0.19634955f);
    const int n = std::isfinite(wanted) ? std::clamp(static_cast<int>(std::min(wanted, 1e6f)), 2, kMostArcSegments)
                                        : 2;
    for (int i = 1; i <= n; ++i) {
        const float theta = t1 + i * delta / n;
        poly.push_back({c * rx * std::cos(theta) - s * ry * std::sin(theta) + cx,
                        s * rx * std::cos(theta) + c * ry * std::sin(theta) + cy});
    }
    poly.back() = to;
}
}  // namespace

std::vector<IconPolygon> ParseIconPath(std::string_view path) {
    std::vector<IconPolygon> done;
    IconPolygon poly;
    IconPoint current{0, 0}, start{0, 0};
    const auto finish = [&] {
        if (poly.size() >= 3) done.push_back(std::move(poly));
        poly.clear();
    };
    PathReader in(path);
    char command = 0;
    for (;;) {
        in.skipSeparators();
        if (in.atEnd()) break;
        const size_t before = in.position();
        if (IsLetter(in.peek())) {
            command = in.peek();
            in.advance();
        } else if (!command) {
            break;  // a number before any command
        } else if (command == 'M') {
            command = 'L';
        } else if (command == 'm') {
            command = 'l';
        }
        const bool relative = command >= 'a' && command <= 'z';
        const IconPoint base = relative ? current : IconPoint{0, 0};
        switch (command) {
            case 'M': case 'm': {
                const float x = in.number(), y = in.number();
                finish();
                current = start = {base.x + x, base.y + y};
                poly.push_back(current);
                break;
            }
            case 'L': case 'l': {
                const float x = in.number(), y = in.number();
                current = {base.x + x, base.y + y};
                poly.push_back(current);
                break;
            }
            case 'H': case 'h': current.x = base.x + in.number(); poly.push_back(current); break;
            case 'V': case 'v': current.y = (relative ? current.y : 0) + in.number(); poly.push_back(current); break;
            case 'C': case 'c': {
                IconPoint p[3];
                for (IconPoint& q : p) {
                    q.x = base.x + in.number();
                    q.y = base.y + in.number();
                }
                const IconPoint p0 = current;
                for (int i = 1; i <= 12; ++i) {
                    const float t = i / 12.0f, u = 1 - t;
                    const float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
                    poly.push_back({a * p0.x + b * p[0].x + c * p[1].x + d * p[2].x,
                                    a * p0.y + b * p[0].y + c * p[1].y + d * p[2].y});
                }
                current = p[2];
                break;
            }
            case 'A': case 'a': {
                const float rx = in.number(), ry = in.number(), rotation = in.number();
                const bool large = in.number() != 0.0f, sweep = in.number() != 0.0f;
                const float x = in.number(), y = in.number();
                const IconPoint to{base.x + x, base.y + y};
                AppendArc(poly, current, rx, ry, rotation, large, sweep, to);
                current = to;
                break;
            }
            case 'Z': case 'z':
                finish();
                poly.push_back(start);
                current = start;
                command = 0;  // nothing to repeat after Z
                break;
            default: finish(); return done;  // a command outside the grammar ends the parse
        }
        if (in.position() == before) break;  // a step that read nothing
    }
    finish();
    return done;
}

IconMask RasterizeMask(const std::vector<IconPolygon>& polygons, int32_t n) {
    IconMask mask;
    if (n < 1) return mask;
    mask.side = n;
    mask.coverage.assign(static_cast<size_t>(n) * n, 0);
    std::vector<float> acc(static_cast<size_t>(n) * n, 0.0f);
    const float k = n / 24.0f;
    struct Crossing {
        float x;
        int direction;
    };
    std::vector<Crossing> crossings;
    for (int s = 0; s < 5 * n; ++s) {
        const float y = (s + 0.5f) / 5;
        const int row = s / 5;
        crossings.clear();
        for (const IconPolygon& poly : polygons) {
            for (size_t i = 0; i < poly.size(); ++i) {
                const IconPoint a = poly[i], b = poly[(i + 1) % poly.size()];
                if (!Finite(a) || !Finite(b)) continue;  // nan or inf: no edge
                const float x0 = a.x * k, y0 = a.y * k, x1 = b.x * k, y1 = b.y * k;
                if ((y0 <= y && y < y1) || (y1 <= y && y < y0))
                    crossings.push_back({(y - y0) * (x1 - x0) / (y1 - y0) + x0, y1 > y0 ? 1 : -1});
            }
        }
        std::sort(crossings.begin(), crossings.end(), [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
        int w = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i) {
            w += crossings[i].direction;
            if (w == 0) continue;
            // Clamped before converting: far-off or non-finite x must not
            // become a column.
            const float xa = std::clamp(std::max(crossings[i].x, 0.0f), 0.0f, static_cast<float>(n));
            const float xb = std::clamp(std::min(crossings[i + 1].x, static_cast<float>(n)), 0.0f, static_cast<float>(n));
            if (!(xa < xb)) continue;
            for (int p = static_cast<int>(std::floor(xa)); p < n && p < xb; ++p) {
                const float amount = (std::min(p + 1.0f, xb) - std::max(static_cast<float>(p), xa)) / 5;
                if (amount > 0) acc[static_cast<size_t>(row) * n + p] += amount;
            }
        }
    }
    for (size_t i = 0; i < acc.size(); ++i)
        mask.coverage[i] = static_cast<uint8_t>(std::min(acc[i] * 255.0f + 0.5f, 255.0f));
    return mask;
}

namespace {
using MaskCache = std::map<std::pair<int, int32_t>, IconMask>;
MaskCache& Cache() {
    static MaskCache cache;  // one-time creation is thread-safe
    return cache;
}
}  // namespace

const IconMask& GetIconMask(int icon, int32_t n) {
    static const IconMask empty;
    if (icon < 1 || icon >= kIconCount || n < 1) return empty;
    MaskCache& cache = Cache();
    const auto key = std::make_pair(icon, n);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, RasterizeMask(ParseIconPath(kIconPaths[icon]), n)).first;
    return it->second;
}

size_t IconCacheSize() { return Cache().size(); }

void DrawIcon(Surface& surface, int icon, int x, int y, int32_t n, COLORREF colour) {
    if (!surface.pixels() || icon < 1 || icon >= kIconCount || n < 1) return;
    const IconMask& mask = GetIconMask(icon, n);
    ::GdiFlush();
    const uint32_t pixel = ToPixel(colour);
    for (int r = 0; r < mask.side; ++r) {
        const int ty = y + r;
        if (ty < 0 || ty >= surface.height()) continue;
        for (int c = 0; c < mask.side; ++c) {
            const int tx = x + c;
            const uint8_t m = mask.coverage[static_cast<size_t>(r) * mask.side + c];
            if (m == 0 || tx < 0 || tx >= surface.width()) continue;
            uint32_t& p = surface.pixels()[static_cast<size_t>(ty) * surface.width() + tx];
            p = BlendPixel(p, pixel, m);
        }
    }
}
