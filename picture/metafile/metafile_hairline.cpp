#include "picture/metafile/metafile_hairline.h"

#include <algorithm>
#include <cmath>

namespace picture::metafile {

namespace {

// Lines beyond this box could never reach a raster; cutting them to it keeps every count
// below exactness limits of a double, and the cut is the same whatever the area.
constexpr double Far = double(1 << 30);

// Cuts a-b to the far box (Liang–Barsky); false if nothing of it is inside.
bool cutToFarBox(QPointF &a, QPointF &b) {
    double t0 = 0, t1 = 1;
    const double d[2] = {b.x() - a.x(), b.y() - a.y()};
    const double p[2] = {a.x(), a.y()};
    for (int axis = 0; axis < 2; ++axis) {
        for (const double edge : {-Far, Far}) {
            const double q = edge < 0 ? p[axis] - edge : edge - p[axis];
            const double r = edge < 0 ? -d[axis] : d[axis];
            if (r == 0) {
                if (q < 0)
                    return false;
                continue;
            }
            const double t = q / r;
            if (r < 0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
        }
    }
    if (t0 > t1)
        return false;
    const QPointF from = a;
    a = from + (b - from) * t0;
    b = from + (b - from) * t1;
    return true;
}

class Tracer {
public:
    Tracer(const HairlineStyle &style, const QRect &area, const HairlineSink &sink)
        : m_style(style)
        , m_area(area)
        , m_sink(sink) {
        for (const double length : style.pattern)
            m_period += std::max(length, 0.0);
    }

    bool figure(const QPolygonF &points) {
        const bool closed = points.size() > 2 && points.first() == points.last();
        double position = 0;
        for (qsizetype k = 1; k < points.size() && m_going; ++k) {
            const bool last = k + 1 == points.size() && !closed;
            position += segment(points[k - 1], points[k], position, last && m_style.endPixel);
        }
        if (m_going && !m_runs.isEmpty())
            flush();
        return m_going;
    }

private:
    bool dashAt(double position) const {
        if (m_period <= 0)
            return true;
        double t = std::fmod(position, m_period);
        for (qsizetype k = 0; k < m_style.pattern.size(); ++k) {
            if (t < m_style.pattern[k])
                return k % 2 == 0;
            t -= std::max(m_style.pattern[k], 0.0);
        }
        return true;
    }

    // Traces a-b from `position` steps into the pattern; returns how many steps it took.
    double segment(QPointF a, QPointF b, double position, bool endPixel) {
        if (!std::isfinite(a.x()) || !std::isfinite(a.y()) || !std::isfinite(b.x()) ||
            !std::isfinite(b.y()) || !cutToFarBox(a, b))
            return 0;
        // u runs along the longer axis, v across it.
        const bool horizontal = std::abs(b.x() - a.x()) >= std::abs(b.y() - a.y());
        const double au = horizontal ? a.x() : a.y(), av = horizontal ? a.y() : a.x();
        const double bu = horizontal ? b.x() : b.y(), bv = horizontal ? b.y() : b.x();
        const double du = bu - au;
        if (du == 0)
            return 0;
        const int dir = du > 0 ? 1 : -1;
        const double slope = (bv - av) / du;
        // The steps are the pixel centres from the first point on, up to the last point.
        const double first = dir > 0 ? std::ceil(au - 0.5) : std::floor(au - 0.5);
        double end = dir > 0 ? std::ceil(bu - 0.5) : std::floor(bu - 0.5);
        if (endPixel)
            end += dir;
        const double steps = (end - first) * dir;
        if (steps <= 0)
            return 0;

        // Only the steps whose pixels can be inside the area.
        const double umin = horizontal ? m_area.left() : m_area.top();
        const double umax = horizontal ? m_area.right() : m_area.bottom();
        const double vmin = (horizontal ? m_area.top() : m_area.left()) - 2;
        const double vmax = (horizontal ? m_area.bottom() : m_area.right()) + 2;
        double lo = dir > 0 ? umin - first : first - umax;
        double hi = dir > 0 ? umax - first : first - umin;
        if (slope != 0) {
            // v(k) = av + (first + dir * k + 0.5 - au) * slope, within [vmin, vmax].
            const double k0 = ((vmin - av) / slope + au - 0.5 - first) * dir;
            const double k1 = ((vmax - av) / slope + au - 0.5 - first) * dir;
            lo = std::max(lo, std::floor(std::min(k0, k1)) - 1);
            hi = std::min(hi, std::ceil(std::max(k0, k1)) + 1);
        } else if (av < vmin || av > vmax) {
            return steps;
        }
        lo = std::max(lo, 0.0);
        hi = std::min(hi, steps - 1);
        if (slope == 0 && m_period <= 0 && lo <= hi) {
            // A solid level or upright line: one run (two, antialiased) at once.
            const int from = int(std::min(first + dir * lo, first + dir * hi));
            const int length = int(hi - lo) + 1;
            if (!m_style.antialias) {
                putRun(from, length, std::floor(av), horizontal, 255);
                return steps;
            }
            const double centre = av - 0.5;
            const double row = std::floor(centre);
            const int near = int(std::lround((1 - (centre - row)) * 255));
            putRun(from, length, row, horizontal, quint8(near));
            putRun(from, length, row + 1, horizontal, quint8(255 - near));
            return steps;
        }
        for (double k = lo; k <= hi && m_going; ++k) {
            const double u = first + dir * k;
            const double v = av + (u + 0.5 - au) * slope;
            const bool dash = dashAt(position + k);
            if (!m_style.antialias) {
                put(int(u), std::floor(v), horizontal, 255, dash);
                continue;
            }
            const double centre = v - 0.5;
            const double row = std::floor(centre);
            const int near = int(std::lround((1 - (centre - row)) * 255));
            put(int(u), row, horizontal, quint8(near), dash);
            put(int(u), row + 1, horizontal, quint8(255 - near), dash);
        }
        return steps;
    }

    void put(int u, double v, bool horizontal, quint8 coverage, bool dash) {
        if (coverage == 0)
            return;
        if (v < -1 || v > Far)
            return;
        const QPoint at = horizontal ? QPoint(u, int(v)) : QPoint(int(v), u);
        if (!m_area.contains(at))
            return;
        // Join the pixel to one of the last two runs (the two rows an antialiased line shades)
        // when it continues it along the line.
        for (qsizetype back = 1; back <= 2 && back <= m_runs.size(); ++back) {
            HairlineRun &run = m_runs[m_runs.size() - back];
            if (run.horizontal != horizontal || run.coverage != coverage || run.dash != dash)
                continue;
            const int runU = horizontal ? run.x : run.y;
            const int runV = horizontal ? run.y : run.x;
            if (runV != int(v))
                continue;
            if (u == runU + run.length) {
                ++run.length;
                return;
            }
            if (u == runU - 1) {
                (horizontal ? run.x : run.y) = u;
                ++run.length;
                return;
            }
        }
        append({at.x(), at.y(), 1, horizontal, coverage, dash});
    }

    void putRun(int u, int length, double v, bool horizontal, quint8 coverage) {
        const double vmin = horizontal ? m_area.top() : m_area.left();
        const double vmax = horizontal ? m_area.bottom() : m_area.right();
        if (coverage == 0 || v < vmin || v > vmax)
            return;
        append(
            {horizontal ? u : int(v), horizontal ? int(v) : u, length, horizontal, coverage, true});
    }

    // A new run, after handing over a full batch.
    void append(const HairlineRun &run) {
        if (m_runs.size() >= Batch)
            flush();
        m_runs.append(run);
    }

    void flush() {
        m_going = m_sink(m_runs);
        m_runs.clear();
    }

    static constexpr qsizetype Batch = 4096;

    const HairlineStyle &m_style;
    const QRect m_area;
    const HairlineSink &m_sink;
    QList<HairlineRun> m_runs;
    double m_period = 0;
    bool m_going = true;
};

} // namespace

bool traceHairline(const QPolygonF &figure, const HairlineStyle &style, const QRect &area,
                   const HairlineSink &sink) {
    if (area.isEmpty() || figure.size() < 2)
        return true;
    return Tracer(style, area, sink).figure(figure);
}

} // namespace picture::metafile
