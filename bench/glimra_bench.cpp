// How fast Glimra shows a picture and lists a folder, beside the floors set by the libraries it
// stands on. Makes its own pictures and folders in a temporary folder, measures each thing
// several times in one run and prints the medians with their ratios to the floors. It asserts
// nothing: it reports.
//
//   glimra_bench            the whole table (QT_QPA_PLATFORM=offscreen on a headless machine)
//   glimra_bench --photographs              only the rows of turned and Adobe RGB photographs
//   glimra_bench --gif      the GIF rows alone
//   glimra_bench --held     only the held-key rows
//   glimra_bench --keys     key to painted for 6000x4000 JPEG, GIF and PCX (run it under X)
//   glimra_bench --metafiles  only the EMF and EMF+ rows
//   glimra_bench --peak FILE WIDTH HEIGHT   (internal) peak memory of one load, in a fresh process
//   glimra_bench --peak-window [FILE]       (internal) the same through the main window

#include "controls/dir_list_box.h"
#include "controls/file_list_box.h"
#include "controls/image_box.h"
#include "picture/jpeg_encoder.h"
#include "picture/orientation.h"
#include "picture/picture_errors.h"
#include "picture/picture_file.h"
#include "tests/support/writers.h"
#include "tools/picture_writers.h"
#include "viewer/interface_font.h"
#include "viewer/main_window.h"

#include "ui_main_window.h"

#include <QApplication>
#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include <jpeglib.h>

#if defined(Q_OS_LINUX)
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

#ifdef _MSC_VER
// The floors' setjmp skips no C++ destructors: only libjpeg's C frames lie in between.
#pragma warning(disable : 4611)
#endif

namespace {

constexpr int Runs = 7;
const QSize DesignViewport(457, 568);
const QSize FullHd(1920, 1080);

// The process's peak resident memory in KiB, or -1 where we can't tell.
long peakResidentKiB() {
#if defined(Q_OS_LINUX)
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly | QIODevice::Text)) {
        for (QByteArray line; !(line = status.readLine()).isEmpty();) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0)
        return usage.ru_maxrss;
#endif
    return -1;
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Median milliseconds of `runs` calls; nothing when a call reports failure.
std::optional<double> measure(const std::function<bool()> &call, int runs = Runs) {
    std::vector<double> samples;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!call())
            return std::nullopt;
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return median(samples);
}

// ---- pictures ---------------------------------------------------------------------------

// Smooth gradients with a little grain: compresses about as a photograph does.
QImage photograph(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            line[x] = qRgb(std::clamp(x * 255 / size.width() + grain, 0, 255),
                           std::clamp(y * 255 / size.height() + grain, 0, 255),
                           std::clamp(((x + y) / 7) % 256 + grain / 2, 0, 255));
        }
    }
    return image;
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray jpegFile(QSize size, int chromaDivisor) {
    picture::jpeg::EncodeOptions options;
    options.chromaDivisorX = chromaDivisor;
    options.chromaDivisorY = chromaDivisor;
    return picture::jpeg::encode(photograph(size), options);
}

// 24-bit PCX, run-length encoded, one plane per colour.
QByteArray pcxFile(const QImage &image) {
    const testkit::pcx::Layout layout{
        .planes = 3, .width = image.width(), .height = image.height()};
    return testkit::pcx::file(layout, image);
}

QByteArray gifFile(QSize size) {
    writers::IndexedPicture indexed;
    indexed.width = size.width();
    indexed.height = size.height();
    for (int i = 0; i < 256; ++i)
        indexed.palette.append(qRgb(i, (i * 3) % 256, 255 - i));
    indexed.indices.resize(qsizetype(size.width()) * size.height());
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            indexed.indices[qsizetype(y) * size.width() + x] = char((x / 16 + y / 9) % 256);
    return writers::gifFile(indexed);
}

// A placeable WMF of 6000 x 4000 pixels at 96 dpi holding `count` filled rectangles, each with
// a brush of its own.
QByteArray wmfFile(int count) {
    using namespace testkit::wmf;
    Writer w;
    w.record(SetWindowOrg, {0, 0}).record(SetWindowExt, {16000, 24000});
    for (int n = 0; n < count; ++n) {
        const int x = (n * 37) % 23000, y = (n * 53) % 15000;
        w.brush(quint32(n * 2654435761u) | 0xff000000);
        w.record(SelectObject, {0}).rectangle(x, y, x + 1300, y + 900);
        w.record(DeleteObject, {0});
    }
    return w.placeable(0, 0, 24000, 16000, 384);
}

// An EMF of 6000 x 4000 pixels holding `count` filled rectangles, each with a brush of its own.
QByteArray emfFile(int count) {
    using namespace testkit::emf;
    Writer w;
    for (int n = 0; n < count; ++n) {
        const int x = (n * 37) % 5800, y = (n * 53) % 3800;
        const quint32 colour = quint32(n * 2654435761u) & 0xFFFFFF;
        w.record(CreateBrushIndirect, {1, 0, colour, 0}).record(SelectObject, {1});
        w.rectangle(x, y, x + 320, y + 220);
        w.record(SelectObject, {0x80000000u + 4}).record(DeleteObject, {1}); // a stock brush
    }
    return w.file(QRect(QPoint(0, 0), QPoint(5999, 3999)),
                  QRect(QPoint(0, 0), QPoint(158750, 105833)));
}

// ---- floors -----------------------------------------------------------------------------

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpBack(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrors *>(cinfo->err)->jump, 1);
}

// libjpeg-turbo alone: the rows and columns of `region` of the stored picture (as cropping
// and skipping allow) into a 32-bit buffer.
bool libjpegDecodeRegion(const char *path, QRect region, std::vector<JSAMPLE> &pixels) {
    FILE *file = std::fopen(path, "rb");
    if (!file)
        return false;
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = &jumpBack;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    region &= QRect(0, 0, int(info.output_width), int(info.output_height));
    JDIMENSION left = JDIMENSION(region.left());
    JDIMENSION width = JDIMENSION(region.width());
    if (width < info.output_width)
        jpeg_crop_scanline(&info, &left, &width);
    if (region.top() > 0)
        jpeg_skip_scanlines(&info, JDIMENSION(region.top()));
    const size_t stride = size_t(info.output_width) * 4;
    pixels.resize(stride * size_t(region.height()));
    const JDIMENSION end = JDIMENSION(region.top() + region.height());
    while (info.output_scanline < end) {
        JSAMPROW row = &pixels[stride * (info.output_scanline - JDIMENSION(region.top()))];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

// libjpeg-turbo alone: the top-left `visible` part (all when empty) into a 32-bit buffer.
bool libjpegDecode(const char *path, QSize visible, std::vector<JSAMPLE> &pixels) {
    const int all = std::numeric_limits<int>::max() / 2;
    return libjpegDecodeRegion(path, QRect(QPoint(), visible.isEmpty() ? QSize(all, all) : visible),
                               pixels);
}

// ---- the table --------------------------------------------------------------------------

struct Row {
    QString what;
    std::optional<double> ms;
    QString note;
};

QList<Row> table;

QString milliseconds(std::optional<double> ms) {
    return ms ? QString::number(*ms, 'f', *ms < 10 ? 2 : 1) : QStringLiteral("n/a");
}

void report(const QString &what, std::optional<double> ms, const QString &note = {}) {
    table.append({what, ms, note});
    std::printf("  %-66s %10s ms  %s\n", qPrintable(what), qPrintable(milliseconds(ms)),
                qPrintable(note));
    std::fflush(stdout);
}

QString ratioNote(std::optional<double> ms, std::optional<double> floor, double goal,
                  const QString &floorName) {
    if (!ms || !floor || *floor <= 0)
        return QStringLiteral("(goal <= %1 x %2)").arg(goal).arg(floorName);
    const double ratio = *ms / *floor;
    return QStringLiteral("%1 x %2, goal <= %3 x: %4")
        .arg(ratio, 0, 'f', 2)
        .arg(floorName)
        .arg(goal)
        .arg(ratio <= goal ? QStringLiteral("met") : QStringLiteral("missed"));
}

// The goal of one 60 Hz frame at the design size and two at 1920 x 1080.
QString frameNote(std::optional<double> ms, bool fullHd) {
    const double goal = fullHd ? 33.0 : 16.7;
    if (!ms)
        return {};
    return QStringLiteral("<= %1 ms: %2").arg(goal).arg(*ms <= goal ? "met" : "missed");
}

// The floor for the EMF+ ellipses: Qt's rasterizer drawing the same antialiased, translucent
// ellipses straight into an image of the part shown.
bool ellipsesFloor(QSize part) {
    QImage image(part, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF shown(QPointF(0, 0), QSizeF(part));
    for (int n = 0; n < 20000; ++n) {
        const testkit::emfplus::Ellipse e = testkit::emfplus::ellipse(n);
        if (!e.box.intersects(shown))
            continue;
        painter.setBrush(QColor::fromRgba(e.colour));
        painter.drawEllipse(e.box);
    }
    return true;
}

// Milliseconds of loadPictureFile, or nothing when the format has no decoder yet.
std::optional<double> measureLoad(const QString &path, QSize visible) {
    const auto first = picture::loadPictureFile(path.toStdString(), visible);
    if (!first.ok()) {
        if (first.error != picture::errors::unsupported())
            std::printf("    (%s: %s)\n", qPrintable(QFileInfo(path).fileName()),
                        qPrintable(first.error));
        return std::nullopt;
    }
    return measure([&] { return picture::loadPictureFile(path.toStdString(), visible).ok(); });
}

// Stops the clock when the widget it watches paints.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget *widget)
        : m_widget(widget) {
        widget->installEventFilter(this);
    }
    void start() {
        m_painted = false;
        m_timer.start();
    }
    bool painted() const { return m_painted; }
    double elapsedMs() const { return m_elapsedMs; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == m_widget && event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            m_elapsedMs = double(m_timer.nsecsElapsed()) / 1e6;
        }
        return false;
    }

private:
    QWidget *m_widget;
    QElapsedTimer m_timer;
    bool m_painted = false;
    double m_elapsedMs = 0;
};

// A main window shown on `folder`, then `run` at the design size and again maximised to
// 1920 x 1080.
void atBothSizes(const fs::path &folder,
                 const std::function<void(MainWindow &window, bool maximised)> &run) {
    MainWindow window;
    window.show();
    QApplication::processEvents();
    window.form().boxDir->setPath(folder);
    QApplication::processEvents();
    for (const bool maximised : {false, true}) {
        if (maximised) {
            window.resize(FullHd);
            QApplication::processEvents();
        }
        run(window, maximised);
    }
}

// Clicks `name` in the main window's file list; false when it isn't listed.
bool clickFile(MainWindow &window, const QString &name) {
    controls::FileListBox &list = *window.form().boxFile;
    const QAbstractItemModel *model = list.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (index.data().toString() == name) {
            list.scrollTo(index);
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(index).center());
            return true;
        }
    }
    return false;
}

// Click on the file to `Pic` painted, median of several clicks; another file is clicked in
// between so each click loads afresh.
std::optional<double> clickToPainted(MainWindow &window, const QString &name,
                                     const QString &other) {
    controls::ImageBox &pic = *window.form().Pic;
    PaintWatch watch(&pic);
    std::vector<double> samples;
    for (int run = 0; run < Runs; ++run) {
        clickFile(window, other);
        QApplication::processEvents();
        watch.start();
        if (!clickFile(window, name))
            return std::nullopt;
        pic.repaint();
        if (!watch.painted())
            QApplication::processEvents();
        if (!watch.painted() || pic.naturalSize().isEmpty())
            return std::nullopt;
        samples.push_back(watch.elapsedMs());
    }
    return median(samples);
}

// ---- photographs: camera orientation and colour profiles ---------------------------------

// One marker segment after the start of `file`.
QByteArray withSegment(const QByteArray &file, int marker, const QByteArray &contents) {
    const int length = int(contents.size()) + 2;
    const char head[] = {char(0xFF), char(marker), char(length >> 8), char(length)};
    return file.left(2) + QByteArray(head, 4) + contents + file.mid(2);
}

// An Exif segment with one entry, the orientation, little-endian.
QByteArray exifOrientation(int orientation) {
    QByteArray tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18);
    tiff += char(orientation);
    tiff += QByteArray(7, '\0');
    return QByteArray("Exif\0\0", 6) + tiff;
}

// 6000 x 4000 photographs turned by the camera, and one in Adobe RGB: click to painted beside
// libjpeg-turbo decoding the stored region that shows, and the whole picture.
void photographRows(const QString &pictures) {
    const auto at = [&](const QString &name) {
        return pictures + QLatin1Char('/') + name;
    };
    const QSize stored(6000, 4000);
    const QByteArray plain = jpegFile(stored, 2);
    for (const int orientation : {3, 6, 8})
        writeFile(at(QStringLiteral("turned-%1.jpg").arg(orientation)),
                  withSegment(plain, 0xE1, exifOrientation(orientation)));
    writeFile(at(QStringLiteral("adobe-rgb.jpg")),
              withSegment(plain, 0xE2,
                          QByteArray("ICC_PROFILE\0\x01\x01", 14) +
                              QColorSpace(QColorSpace::AdobeRgb).iccProfile()));
    writeFile(at(QStringLiteral("upright.jpg")), plain);

    std::printf("\nPhotographs 6000x4000 4:2:0, turned by their orientation or in Adobe RGB:\n");
    std::vector<JSAMPLE> pixels;
    const QByteArray upright = at(QStringLiteral("upright.jpg")).toLocal8Bit();
    const auto whole = measure([&] { return libjpegDecode(upright.constData(), {}, pixels); }, 3);
    report(QStringLiteral("floor: libjpeg-turbo 6000x4000 4:2:0, whole"), whole);

    struct Floors {
        std::optional<double> design, hd;
    };
    std::map<int, Floors> floors;
    for (const int orientation : {1, 3, 6, 8}) {
        for (const QSize visible : {DesignViewport, FullHd}) {
            const QSize shown = picture::orientation::shownSize(stored, orientation);
            const QRect region =
                picture::orientation::storedRegion(stored, orientation, shown.boundedTo(visible));
            const auto ms = measure([&] { return libjpegDecodeRegion(upright, region, pixels); });
            (visible == DesignViewport ? floors[orientation].design : floors[orientation].hd) = ms;
            report(QStringLiteral("floor: libjpeg-turbo, orientation %1, region %2x%3 at (%4,%5)")
                       .arg(orientation)
                       .arg(region.width())
                       .arg(region.height())
                       .arg(region.left())
                       .arg(region.top()),
                   ms);
        }
    }
    pixels = {};

    atBothSizes(pictures.toStdString(), [&](MainWindow &window, bool maximised) {
        const QString size =
            maximised ? QStringLiteral("1920x1080 window") : QStringLiteral("design size");
        std::optional<double> upright;
        for (const int orientation : {1, 3, 6, 8}) {
            const QString name = orientation == 1
                                     ? QStringLiteral("upright.jpg")
                                     : QStringLiteral("turned-%1.jpg").arg(orientation);
            const auto ms = clickToPainted(window, name, QStringLiteral("tiny.jpg"));
            if (orientation == 1)
                upright = ms;
            const auto floor = maximised ? floors[orientation].hd : floors[orientation].design;
            QString note = ratioNote(ms, floor, 1.5, QStringLiteral("libjpeg-turbo's region"));
            if (ms && whole && *whole > 0) {
                const double ratio = *ms / *whole;
                note += QStringLiteral("; %1 x whole, goal < 0.5 x: %2")
                            .arg(ratio, 0, 'f', 2)
                            .arg(ratio < 0.5 ? QStringLiteral("met") : QStringLiteral("missed"));
            }
            report(
                QStringLiteral("click to painted, orientation %1, %2").arg(orientation).arg(size),
                ms, note);
        }
        const auto adobe =
            clickToPainted(window, QStringLiteral("adobe-rgb.jpg"), QStringLiteral("tiny.jpg"));
        report(QStringLiteral("click to painted, Adobe RGB, %1").arg(size), adobe,
               ratioNote(adobe, upright, 1.3, QStringLiteral("orientation 1")));
    });
}

// Holding Down in the file list with the keyboard repeating 30 times a second, as X delivers
// it: key presses arrive on time whether or not the last one has been handled.
struct HeldKey {
    int steps = 0;         // presses sent
    int painted = 0;       // distinct pictures painted while the key was held
    int mostWaiting = 0;   // the most presses sent but not yet handled at one time
    double releaseMs = -1; // from the release to the last picture painted
};

class HeldKeyWatch : public QObject {
public:
    HeldKeyWatch(MainWindow &window, const QElapsedTimer &clock)
        : m_list(*window.form().boxFile)
        , m_pic(*window.form().Pic)
        , m_clock(clock) {
        m_list.installEventFilter(this);
        m_pic.installEventFilter(this);
    }
    int handled = 0;
    std::set<std::string> paintedNames;
    std::string lastPainted;
    double lastPaintMs = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == &m_list && event->type() == QEvent::KeyPress)
            ++handled;
        if (watched == &m_pic && event->type() == QEvent::Paint) {
            lastPainted = m_list.fileName().string();
            if (lastPainted != "held000.jpg")
                paintedNames.insert(lastPainted);
            lastPaintMs = double(m_clock.nsecsElapsed()) / 1e6;
        }
        return false;
    }

private:
    controls::FileListBox &m_list;
    controls::ImageBox &m_pic;
    const QElapsedTimer &m_clock;
};

HeldKey holdDown(MainWindow &window, int steps) {
    constexpr double RepeatMs = 1000.0 / 30;
    controls::FileListBox &list = *window.form().boxFile;
    clickFile(window, QStringLiteral("held000.jpg"));
    QApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    HeldKeyWatch watch(window, clock);
    HeldKey held;
    double releasedAt = -1;
    while (clock.elapsed() < 60'000) {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        // Every press that is due by now, as the X server would have queued them.
        while (held.steps < steps && held.steps * RepeatMs <= now) {
            QCoreApplication::postEvent(&list, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, {},
                                                             QString(), held.steps > 0));
            ++held.steps;
        }
        // The key is let go one repeat after the last press, handled or not.
        if (held.steps == steps && releasedAt < 0 && now >= steps * RepeatMs) {
            releasedAt = now;
            QCoreApplication::postEvent(&list, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, {}));
        }
        held.mostWaiting = std::max(held.mostWaiting, held.steps - watch.handled);
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        if (releasedAt >= 0 && watch.handled == steps &&
            watch.lastPainted == list.fileName().string())
            break;
    }
    held.painted = int(watch.paintedNames.size());
    if (releasedAt >= 0 && watch.lastPainted == list.fileName().string())
        held.releaseMs = std::max(0.0, watch.lastPaintMs - releasedAt);
    return held;
}

void makeEmptyFiles(const fs::path &folder, int count, int pictureEvery) {
    fs::create_directories(folder);
    for (int n = 0; n < count; ++n) {
        const bool picture = n % pictureEvery == 0;
        char name[64];
        std::snprintf(name, sizeof name, "%s%06d.%s", n % 3 ? "File" : "photo", n,
                      picture ? (n % 2 ? "JPG" : "bmp") : "txt");
        std::ofstream(folder / name).put('\0');
    }
}

bool lessIgnoringCase(const std::string &a, const std::string &b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char l, char r) {
        return std::tolower(static_cast<unsigned char>(l)) <
               std::tolower(static_cast<unsigned char>(r));
    });
}

bool endsWithIgnoringCase(const std::string &name, const std::string &suffix) {
    if (name.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), name.end() - qsizetype(suffix.size()),
                      [](char l, char r) {
                          return std::tolower(static_cast<unsigned char>(l)) ==
                                 std::tolower(static_cast<unsigned char>(r));
                      });
}

// The floor for a file list: read the folder, keep the picture names, sort them.
size_t listPictures(const fs::path &folder) {
    static const std::vector<std::string> suffixes = {".bmp", ".dib", ".pcx", ".gif", ".ico",
                                                      ".cur", ".wmf", ".emf", ".jpg", ".jpe"};
    std::vector<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (std::any_of(suffixes.begin(), suffixes.end(),
                        [&](const std::string &s) { return endsWithIgnoringCase(name, s); }))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names.size();
}

size_t listFolders(const fs::path &folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder)) {
        if (entry.is_directory())
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names.size();
}

// Runs this program again in a mode that loads one picture, and reads its peak memory.
long childPeakKiB(const QStringList &arguments) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(120000))
        return -1;
    return QString::fromLatin1(child.readAllStandardOutput()).trimmed().toLong();
}

QString mebibytes(long kib) {
    return kib < 0 ? QStringLiteral("n/a") : QString::number(double(kib) / 1024, 'f', 1);
}

int peakOfOneLoad(const QStringList &arguments) {
    const QSize visible(arguments.value(3).toInt(), arguments.value(4).toInt());
    const auto loaded = picture::loadPictureFile(arguments.value(2).toStdString(), visible);
    std::printf("%ld\n", loaded.ok() ? peakResidentKiB() : -1L);
    return 0;
}

int peakOfWindow(const QStringList &arguments) {
    viewer::loadInterfaceFont();
    MainWindow window;
    window.resize(FullHd);
    window.show();
    QApplication::processEvents();
    if (arguments.size() > 2) {
        const QFileInfo file(arguments.value(2));
        window.form().boxDir->setPath(file.absolutePath().toStdString());
        QApplication::processEvents();
        if (!clickFile(window, file.fileName())) {
            std::printf("-1\n");
            return 0;
        }
        window.form().Pic->repaint();
        QApplication::processEvents();
    }
    std::printf("%ld\n", peakResidentKiB());
    return 0;
}

// ---- GIF ----------------------------------------------------------------------------------

// The file a chunk at a time, as a decoder reads it.
class GifBytes {
public:
    explicit GifBytes(FILE *file)
        : m_file(file) {}
    int next() {
        if (m_at == m_size) {
            m_size = std::fread(m_buffer, 1, sizeof m_buffer, m_file);
            m_at = 0;
            if (m_size == 0)
                return -1;
        }
        return m_buffer[m_at++];
    }
    bool skip(long count) {
        for (; count > 0; --count)
            if (next() < 0)
                return false;
        return true;
    }
    bool skipSubBlocks() {
        for (int length; (length = next()) > 0;)
            if (!skip(length))
                return false;
        return true;
    }

private:
    FILE *m_file;
    unsigned char m_buffer[64 * 1024];
    size_t m_size = 0;
    size_t m_at = 0;
};

// The floor for a GIF: a plain LZW decode of the first frame's rows down to the last one
// `visible` shows (all when empty), every column, into 8-bit indices; rows in order only.
bool lzwFloor(const char *path, QSize visible, std::vector<unsigned char> &indices) {
    FILE *file = std::fopen(path, "rb");
    if (!file)
        return false;
    GifBytes in(file);
    const auto word = [&in] {
        return in.next() | (in.next() << 8);
    };
    in.skip(10);
    const int flags = in.next();
    in.skip(2);
    if (flags & 0x80)
        in.skip(3 * (2 << (flags & 7)));
    int introducer;
    while ((introducer = in.next()) == 0x21) {
        in.next();
        in.skipSubBlocks();
    }
    in.skip(4);
    const int width = word();
    const int height = word();
    const int frameFlags = in.next();
    if (frameFlags & 0x80)
        in.skip(3 * (2 << (frameFlags & 7)));
    const int minCodeSize = in.next();
    if (introducer != 0x2C || width <= 0 || minCodeSize < 1 || minCodeSize > 11) {
        std::fclose(file);
        return false;
    }
    const int rows = visible.isEmpty() ? height : std::min(height, visible.height());
    indices.resize(size_t(width) * size_t(rows));

    static unsigned short prefix[4096];
    static unsigned char suffix[4096];
    static unsigned char stack[4097];
    const int clear = 1 << minCodeSize;
    for (int code = 0; code < clear; ++code)
        suffix[code] = (unsigned char)code;
    int codeSize = minCodeSize + 1, next = clear + 2, previous = -1, first = 0;
    unsigned bits = 0;
    int bitCount = 0, blockLeft = 0;
    unsigned char *out = indices.data();
    unsigned char *const end = out + indices.size();
    bool ok = true;
    while (out < end) {
        while (bitCount < codeSize && ok) {
            if (blockLeft == 0 && (blockLeft = in.next()) <= 0)
                ok = false;
            const int byte = ok ? in.next() : -1;
            ok = byte >= 0;
            bits |= unsigned(byte) << bitCount;
            bitCount += 8;
            --blockLeft;
        }
        if (!ok)
            break;
        const int code = int(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        bitCount -= codeSize;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == clear + 1 || (previous < 0 && code > clear) || code > next) {
            ok = false;
            break;
        }
        unsigned char *sp = stack;
        int c = code;
        if (code == next) {
            *sp++ = (unsigned char)first;
            c = previous;
        }
        while (c >= clear) {
            *sp++ = suffix[c];
            c = prefix[c];
        }
        first = c;
        *sp++ = (unsigned char)c;
        if (previous >= 0 && next < 4096) {
            prefix[next] = (unsigned short)previous;
            suffix[next] = (unsigned char)first;
            if (++next == (1 << codeSize) && codeSize < 12)
                ++codeSize;
        }
        previous = code;
        while (sp > stack && out < end)
            *out++ = *--sp;
    }
    std::fclose(file);
    return ok;
}

// GIF rows: the floor, loadPictureFile, and click to painted beside the goals of one 60 Hz
// frame at the design size, two at 1920 x 1080, and 1.2 x the floor.
void benchGif(const QString &pictures) {
    std::printf("\nGIF, against a plain LZW decode of the rows shown:\n");
    std::fflush(stdout);
    const QString big = pictures + QStringLiteral("/6000x4000.gif");
    writeFile(big, gifFile({6000, 4000}));
    struct Case {
        QString file, label;
        std::optional<double> floorDesign = {}, floorHd = {};
    };
    std::vector<Case> cases = {{QStringLiteral("3000x2000.gif"), QStringLiteral("GIF 3000x2000")},
                               {QStringLiteral("6000x4000.gif"), QStringLiteral("GIF 6000x4000")}};
    std::vector<unsigned char> indices;
    for (Case &c : cases) {
        const QByteArray path = (pictures + QLatin1Char('/') + c.file).toLocal8Bit();
        for (const QSize visible : {DesignViewport, FullHd}) {
            const auto floor =
                measure([&] { return lzwFloor(path.constData(), visible, indices); });
            (visible == DesignViewport ? c.floorDesign : c.floorHd) = floor;
            report(QStringLiteral("floor: LZW %1, rows of a %2x%3 part")
                       .arg(c.file)
                       .arg(visible.width())
                       .arg(visible.height()),
                   floor);
            const auto ms = measureLoad(QString::fromLocal8Bit(path), visible);
            report(QStringLiteral("loadPictureFile %1, %2x%3 part")
                       .arg(c.label)
                       .arg(visible.width())
                       .arg(visible.height()),
                   ms, ratioNote(ms, floor, 1.2, QStringLiteral("LZW floor")));
        }
        report(QStringLiteral("floor: LZW %1, whole").arg(c.file),
               measure([&] { return lzwFloor(path.constData(), {}, indices); }, 3));
    }
    indices = {};

    viewer::loadInterfaceFont();
    atBothSizes(pictures.toStdString(), [&](MainWindow &window, bool maximised) {
        const double frameGoal = maximised ? 33.0 : 16.7;
        for (const Case &c : cases) {
            const auto ms = clickToPainted(window, c.file, QStringLiteral("tiny.jpg"));
            const auto floor = maximised ? c.floorHd : c.floorDesign;
            const QString goal = !ms ? QString()
                                 : *ms <= frameGoal
                                     ? QStringLiteral("<= %1 ms: met; ").arg(frameGoal)
                                     : QStringLiteral("<= %1 ms: missed; ").arg(frameGoal);
            report(QStringLiteral("click to painted, %1, %2")
                       .arg(c.label, maximised ? QStringLiteral("1920x1080 window")
                                               : QStringLiteral("design size")),
                   ms, goal + ratioNote(ms, floor, 1.2, QStringLiteral("LZW floor")));
        }
    });
}

// Key to painted on the platform the bench runs on (under X: through the X server, as a person
// sees it): Down in the file list from the file before, at the design size. The 6000 x 4000 GIF
// and PCX beside the JPEG of the same size, measured in the same run.
int keyRows() {
    QTemporaryDir temporary;
    if (!temporary.isValid())
        return 1;
    const auto at = [&](const char *name) {
        return temporary.filePath(QLatin1String(name));
    };
    const QSize size(6000, 4000);
    // Each picture after a tiny one, so Down from the tiny one lands on it.
    if (!writeFile(at("a0.jpg"), jpegFile({64, 48}, 2)) ||
        !writeFile(at("a1.jpg"), jpegFile(size, 2)) ||
        !writeFile(at("b0.jpg"), jpegFile({64, 48}, 2)) ||
        !writeFile(at("b1.gif"), gifFile(size)) ||
        !writeFile(at("c0.jpg"), jpegFile({64, 48}, 2)) ||
        !writeFile(at("c1.pcx"), pcxFile(photograph(size))))
        return 1;
    viewer::loadInterfaceFont();
    std::printf("Key to painted, 6000x4000, design size, platform %s:\n",
                qPrintable(QGuiApplication::platformName()));
    MainWindow window;
    window.show();
    QApplication::processEvents();
    window.form().boxDir->setPath(temporary.path().toStdString());
    QApplication::processEvents();
    controls::FileListBox &list = *window.form().boxFile;
    controls::ImageBox &pic = *window.form().Pic;
    const auto keyToPainted = [&](const QString &before) -> std::optional<double> {
        PaintWatch watch(&pic);
        std::vector<double> samples;
        for (int run = 0; run < Runs; ++run) {
            if (!clickFile(window, before))
                return std::nullopt;
            QApplication::processEvents();
            QElapsedTimer timer;
            watch.start();
            timer.start();
            QTest::keyClick(list.viewport(), Qt::Key_Down);
            pic.repaint();
            // The clock stops once the painted picture has reached the X server.
            QGuiApplication::sync();
            if (!watch.painted())
                return std::nullopt;
            samples.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        return median(samples);
    };
    for (const char *name : {"a1.jpg", "b1.gif", "c1.pcx"})
        report(QStringLiteral("loadPictureFile %1").arg(QLatin1String(name)),
               measureLoad(at(name), DesignViewport));
    const auto jpeg = keyToPainted(QStringLiteral("a0.jpg"));
    report(QStringLiteral("key to painted, JPEG 6000x4000 4:2:0"), jpeg);
    const auto gif = keyToPainted(QStringLiteral("b0.jpg"));
    report(QStringLiteral("key to painted, GIF 6000x4000"), gif,
           ratioNote(gif, jpeg, 1.5, QStringLiteral("the JPEG")));
    const auto pcx = keyToPainted(QStringLiteral("c0.jpg"));
    report(QStringLiteral("key to painted, PCX 6000x4000 24-bit"), pcx,
           ratioNote(pcx, jpeg, 1.2, QStringLiteral("the JPEG")));
    return 0;
}

// The GIF rows alone.
int gifOnly() {
    QTemporaryDir temporary;
    if (!temporary.isValid())
        return 1;
    const QString pictures = temporary.path();
    writeFile(pictures + QStringLiteral("/tiny.jpg"), jpegFile({64, 48}, 2));
    writeFile(pictures + QStringLiteral("/3000x2000.gif"), gifFile({3000, 2000}));
    benchGif(pictures);
    return 0;
}

// Down held in a folder of 200 big photographs, at the design size and at 1920 x 1080.
void runHeldKey(const QString &root, const QString &photo) {
    const QString held = root + QStringLiteral("/held");
    QDir().mkpath(held);
    for (int n = 0; n < 200; ++n) {
        const QString name = held + QStringLiteral("/held%1.jpg").arg(n, 3, 10, QLatin1Char('0'));
        std::error_code error;
        fs::create_hard_link(photo.toStdString(), name.toStdString(), error);
        if (error)
            QFile::copy(photo, name);
    }
    constexpr int Steps = 199;
    atBothSizes(held.toStdString(), [&](MainWindow &window, bool maximised) {
        const HeldKey result = holdDown(window, Steps);
        const QString where =
            maximised ? QStringLiteral("1920x1080 window") : QStringLiteral("design size");
        std::printf("  %-66s %4d of %d painted, at most %d waiting\n",
                    qPrintable(QStringLiteral("Down held (30/s), 6000x4000 JPEGs, ") + where),
                    result.painted, result.steps, result.mostWaiting);
        report(QStringLiteral("  key released to last picture painted, ") + where,
               result.releaseMs < 0 ? std::nullopt : std::optional<double>(result.releaseMs),
               result.releaseMs < 0 ? QString()
                                    : QStringLiteral("goal <= 50 ms: %1")
                                          .arg(result.releaseMs <= 50 ? QStringLiteral("met")
                                                                      : QStringLiteral("missed")));
    });
}

int runBench() {
    QTemporaryDir temporary;
    if (!temporary.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString root = temporary.path();
    const QString pictures = root + QStringLiteral("/pictures");
    QDir().mkpath(pictures);
    const auto at = [&](const char *name) {
        return pictures + QLatin1Char('/') + name;
    };

    std::printf("Making pictures in %s ...\n", qPrintable(root));
    std::fflush(stdout);
    writeFile(at("tiny.jpg"), jpegFile({64, 48}, 2));
    writeFile(at("small.jpg"), jpegFile({640, 480}, 2));
    writeFile(at("6000x4000-420.jpg"), jpegFile({6000, 4000}, 2));
    writeFile(at("6000x4000-444.jpg"), jpegFile({6000, 4000}, 1));
    writeFile(at("8000x6000-420.jpg"), jpegFile({8000, 6000}, 2));
    photograph({6000, 4000})
        .convertToFormat(QImage::Format_RGB888)
        .save(at("6000x4000.bmp"), "BMP");
    writeFile(at("3000x2000.gif"), gifFile({3000, 2000}));
    writeFile(at("3000x2000.pcx"), pcxFile(photograph({3000, 2000})));
    writeFile(at("drawing.wmf"), wmfFile(20000));
    writeFile(at("drawing.emf"), emfFile(20000));
    writeFile(at("drawing-plus.emf"), testkit::emfplus::file(20000, false));
    writeFile(at("chart-plus.emf"), testkit::emfplus::file(0, true));
    for (const QFileInfo &file : QDir(pictures).entryInfoList(QDir::Files, QDir::Name))
        std::printf("  %-24s %8.1f MiB\n", qPrintable(file.fileName()),
                    double(file.size()) / (1024 * 1024));

    std::printf("\nMedians of %d runs; the machine is shared, so figures vary between runs.\n\n",
                Runs);

    // Floors.
    std::vector<JSAMPLE> pixels;
    const QByteArray big420 = at("6000x4000-420.jpg").toLocal8Bit();
    const QByteArray huge420 = at("8000x6000-420.jpg").toLocal8Bit();
    const auto floorVisible6000Design =
        measure([&] { return libjpegDecode(big420.constData(), DesignViewport, pixels); });
    report(QStringLiteral("floor: libjpeg-turbo 6000x4000 4:2:0, 457x568 part"),
           floorVisible6000Design);
    const auto floorVisible6000Hd =
        measure([&] { return libjpegDecode(big420.constData(), FullHd, pixels); });
    report(QStringLiteral("floor: libjpeg-turbo 6000x4000 4:2:0, 1920x1080 part"),
           floorVisible6000Hd);
    const auto floorVisible8000Design =
        measure([&] { return libjpegDecode(huge420.constData(), DesignViewport, pixels); });
    report(QStringLiteral("floor: libjpeg-turbo 8000x6000 4:2:0, 457x568 part"),
           floorVisible8000Design);
    const auto floorVisible8000Hd =
        measure([&] { return libjpegDecode(huge420.constData(), FullHd, pixels); });
    report(QStringLiteral("floor: libjpeg-turbo 8000x6000 4:2:0, 1920x1080 part"),
           floorVisible8000Hd);
    report(QStringLiteral("floor: libjpeg-turbo 6000x4000 4:2:0, whole"),
           measure([&] { return libjpegDecode(big420.constData(), {}, pixels); }, 3));
    pixels = {};
    const auto floorBmp = measure(
        [&] {
            QImageReader reader(at("6000x4000.bmp"));
            reader.setAllocationLimit(0);
            return !reader.read().isNull();
        },
        3);
    report(QStringLiteral("floor: Qt's reader, 6000x4000 24-bit BMP, whole"), floorBmp);

    // Our loading function.
    std::printf("\n");
    struct Sample {
        const char *file;
        const char *label;
    };
    const Sample samples[] = {
        {"small.jpg", "JPEG 640x480"},
        {"6000x4000-420.jpg", "JPEG 6000x4000 4:2:0"},
        {"6000x4000-444.jpg", "JPEG 6000x4000 4:4:4"},
        {"8000x6000-420.jpg", "JPEG 8000x6000 4:2:0"},
        {"6000x4000.bmp", "BMP 6000x4000 24-bit"},
        {"3000x2000.gif", "GIF 3000x2000"},
        {"3000x2000.pcx", "PCX 3000x2000 24-bit"},
        {"drawing.wmf", "WMF 6000x4000, 20000 rectangles"},
        {"drawing.emf", "EMF 6000x4000, 20000 rectangles"},
        {"drawing-plus.emf", "EMF+ 6000x4000, 20000 antialiased ellipses"},
        {"chart-plus.emf", "EMF+ 1800x1000 chart, 200 bars, 202 labels"},
    };
    const auto floorEllipsesDesign = measure([] { return ellipsesFloor(DesignViewport); });
    report(QStringLiteral("floor: QPainter, the EMF+ picture's ellipses, 457x568 part"),
           floorEllipsesDesign);
    const auto floorEllipsesHd = measure([] { return ellipsesFloor(FullHd); });
    report(QStringLiteral("floor: QPainter, the EMF+ picture's ellipses, 1920x1080 part"),
           floorEllipsesHd);
    const QString ellipsesFloorName = QStringLiteral("QPainter's ellipses");
    for (const Sample &sample : samples) {
        for (const QSize visible : {DesignViewport, FullHd}) {
            const auto ms = measureLoad(at(sample.file), visible);
            const QByteArray file(sample.file);
            QString note;
            if (file == "6000x4000.bmp") {
                note = ratioNote(ms, floorBmp, 0.1, QStringLiteral("Qt's whole BMP"));
            } else if (file == "drawing-plus.emf") {
                note = frameNote(ms, visible == FullHd) + QStringLiteral("; ") +
                       ratioNote(ms, visible == FullHd ? floorEllipsesHd : floorEllipsesDesign, 1.2,
                                 ellipsesFloorName);
            } else if (file.endsWith(".wmf") || file.endsWith(".emf")) {
                note = frameNote(ms, visible == FullHd);
            }
            report(QStringLiteral("loadPictureFile %1, %2x%3 part")
                       .arg(QLatin1String(sample.label))
                       .arg(visible.width())
                       .arg(visible.height()),
                   ms, note);
        }
    }

    // Click to painted through the main window.
    std::printf("\n");
    viewer::loadInterfaceFont();
    {
        struct Click {
            const char *file;
            const char *label;
            std::optional<double> floorDesign, floorHd;
        };
        const Click clicks[] = {
            {"small.jpg", "JPEG 640x480", {}, {}},
            {"6000x4000-420.jpg", "JPEG 6000x4000 4:2:0", floorVisible6000Design,
             floorVisible6000Hd},
            {"6000x4000-444.jpg", "JPEG 6000x4000 4:4:4", {}, {}},
            {"8000x6000-420.jpg", "JPEG 8000x6000 4:2:0", floorVisible8000Design,
             floorVisible8000Hd},
            {"6000x4000.bmp", "BMP 6000x4000 24-bit", floorBmp, floorBmp},
            {"3000x2000.gif", "GIF 3000x2000", {}, {}},
            {"3000x2000.pcx", "PCX 3000x2000", {}, {}},
            {"drawing.wmf", "WMF 6000x4000", {}, {}},
            {"drawing.emf", "EMF 6000x4000", {}, {}},
            {"drawing-plus.emf", "EMF+ 6000x4000, 20000 ellipses", floorEllipsesDesign,
             floorEllipsesHd},
            {"chart-plus.emf", "EMF+ 1800x1000 chart with text", {}, {}},
        };
        atBothSizes(pictures.toStdString(), [&](MainWindow &window, bool maximised) {
            const QString size =
                maximised ? QStringLiteral("1920x1080 window") : QStringLiteral("design size");
            for (const Click &click : clicks) {
                // A file that can't be shown would open a window-modal message.
                const bool shows =
                    picture::loadPictureFile(at(click.file).toStdString(), DesignViewport).ok();
                const auto ms = shows ? clickToPainted(window, QLatin1String(click.file),
                                                       QStringLiteral("tiny.jpg"))
                                      : std::nullopt;
                const auto floor = maximised ? click.floorHd : click.floorDesign;
                const QByteArray file(click.file);
                QString note;
                if (file.endsWith(".wmf") || file.endsWith(".emf"))
                    note = frameNote(ms, maximised) + (floor ? QStringLiteral("; ") : QString());
                if (floor && file.endsWith(".jpg"))
                    note = ratioNote(ms, floor, 1.5, QStringLiteral("libjpeg-turbo's part"));
                else if (floor && file.endsWith(".emf"))
                    note += ratioNote(ms, floor, 1.2, ellipsesFloorName);
                else if (floor)
                    note = ratioNote(ms, floor, 0.1, QStringLiteral("Qt's whole BMP"));
                report(QStringLiteral("click to painted, %1, %2")
                           .arg(QLatin1String(click.label), size),
                       ms, note);
            }
        });
    }

    photographRows(pictures);
    benchGif(pictures);

    // Folder listings.
    std::printf("\nMaking a folder of 100,000 files and one of 10,000 folders ...\n");
    std::fflush(stdout);
    const fs::path files = fs::path(root.toStdString()) / "files";
    makeEmptyFiles(files, 100000, 10);
    const fs::path folders = fs::path(root.toStdString()) / "folders";
    for (int n = 0; n < 10000; ++n)
        fs::create_directories(folders / ("Folder " + std::to_string(n)));

    const auto fileFloor = measure([&] { return listPictures(files) == 10000; });
    report(QStringLiteral("floor: readdir, filter, sort 100,000 files"), fileFloor);
    {
        controls::FileListBox list;
        list.setPattern(
            QStringLiteral("*.bmp;*.dib;*.pcx;*.gif;*.ico;*.cur;*.wmf;*.emf;*.jpg;*.jpe"));
        list.resize(150, 292);
        list.show();
        QApplication::processEvents();
        const fs::path empty = fs::path(root.toStdString()) / "pictures";
        const auto ms = measure([&] {
            list.setPath(empty);
            const bool listed = list.setPath(files);
            list.repaint();
            return listed && list.model()->rowCount() == 10000;
        });
        report(QStringLiteral("FileListBox::setPath + paint, 100,000 files"), ms,
               ratioNote(ms, fileFloor, 1.5, QStringLiteral("readdir")));
    }
    const auto folderFloor = measure([&] { return listFolders(folders) == 10000; });
    report(QStringLiteral("floor: readdir, filter, sort 10,000 folders"), folderFloor);
    {
        controls::DirListBox list;
        list.resize(150, 156);
        list.show();
        QApplication::processEvents();
        const auto ms = measure([&] {
            list.setPath(fs::path(root.toStdString()));
            const bool listed = list.setPath(folders);
            list.repaint();
            return listed;
        });
        report(QStringLiteral("DirListBox::setPath + paint, 10,000 folders"), ms,
               ratioNote(ms, folderFloor, 1.5, QStringLiteral("readdir")));
    }

    runHeldKey(root, at("6000x4000-420.jpg"));

    // Start-up to the first painted window (in this process: Qt's start is already paid).
    {
        std::vector<double> samples;
        for (int run = 0; run < Runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            MainWindow window;
            PaintWatch watch(&window);
            watch.start();
            window.show();
            for (int spin = 0; spin < 1000 && !watch.painted(); ++spin)
                QApplication::processEvents();
            if (!watch.painted())
                break;
            samples.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        report(QStringLiteral("start-up: construct, show, first paint of the main window"),
               samples.empty() ? std::nullopt : std::optional<double>(median(samples)));
    }

    // Peak memory, each in a fresh process.
    std::printf("\nPeak resident memory of a fresh process (MiB):\n");
    const QString huge = at("8000x6000-420.jpg");
    const long idle = childPeakKiB({QStringLiteral("--peak-window")});
    const long windowHuge = childPeakKiB({QStringLiteral("--peak-window"), huge});
    const long loadHd = childPeakKiB(
        {QStringLiteral("--peak"), huge, QStringLiteral("1920"), QStringLiteral("1080")});
    const long loadWhole =
        childPeakKiB({QStringLiteral("--peak"), huge, QStringLiteral("0"), QStringLiteral("0")});
    std::printf("  %-66s %10s\n", "main window at 1920x1080, no picture",
                qPrintable(mebibytes(idle)));
    std::printf("  %-66s %10s  %s\n", "main window at 1920x1080 showing the 8000x6000 JPEG",
                qPrintable(mebibytes(windowHuge)),
                windowHuge < 0
                    ? ""
                    : (windowHuge < 80 * 1024 ? "goal < 80 MiB: met" : "goal < 80 MiB: missed"));
    std::printf("  %-66s %10s\n", "loadPictureFile 8000x6000 JPEG, 1920x1080 part",
                qPrintable(mebibytes(loadHd)));
    std::printf("  %-66s %10s\n", "loadPictureFile 8000x6000 JPEG, whole (for comparison)",
                qPrintable(mebibytes(loadWhole)));
    std::printf("  %-66s %10s\n", "this benchmark process so far",
                qPrintable(mebibytes(peakResidentKiB())));
    return 0;
}

} // namespace

// The rows of the classic and the EMF+ drawings alone: loading and click to painted.
int metafileRows() {
    QTemporaryDir temporary;
    const auto at = [&](const char *name) {
        return temporary.filePath(QLatin1String(name));
    };
    if (!temporary.isValid() || !writeFile(at("tiny.jpg"), jpegFile({64, 48}, 2)) ||
        !writeFile(at("drawing.emf"), emfFile(20000)) ||
        !writeFile(at("drawing-plus.emf"), testkit::emfplus::file(20000, false)) ||
        !writeFile(at("chart-plus.emf"), testkit::emfplus::file(0, true)))
        return 1;
    viewer::loadInterfaceFont();
    const std::pair<const char *, const char *> files[] = {
        {"drawing.emf", "EMF 6000x4000, 20000 rectangles"},
        {"drawing-plus.emf", "EMF+ 6000x4000, 20000 ellipses"},
        {"chart-plus.emf", "EMF+ 1800x1000 chart with text"}};
    for (const auto &[file, label] : files)
        for (const QSize visible : {DesignViewport, FullHd})
            report(QStringLiteral("loadPictureFile %1, %2x%3 part")
                       .arg(QLatin1String(label))
                       .arg(visible.width())
                       .arg(visible.height()),
                   measureLoad(at(file), visible));
    atBothSizes(temporary.path().toStdString(), [&](MainWindow &window, bool maximised) {
        for (const auto &[file, label] : files)
            report(QStringLiteral("click to painted, %1, %2")
                       .arg(QLatin1String(label), maximised ? QStringLiteral("1920x1080 window")
                                                            : QStringLiteral("design size")),
                   clickToPainted(window, QLatin1String(file), QStringLiteral("tiny.jpg")));
    });
    return 0;
}

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--peak"))
        return peakOfOneLoad(arguments);
    if (arguments.value(1) == QLatin1String("--peak-window"))
        return peakOfWindow(arguments);
    if (arguments.value(1) == QLatin1String("--photographs")) {
        QTemporaryDir temporary;
        viewer::loadInterfaceFont();
        writeFile(temporary.filePath(QStringLiteral("tiny.jpg")), jpegFile({64, 48}, 2));
        photographRows(temporary.path());
        return 0;
    }
    if (arguments.value(1) == QLatin1String("--gif"))
        return gifOnly();
    if (arguments.value(1) == QLatin1String("--keys"))
        return keyRows();
    if (arguments.value(1) == QLatin1String("--metafiles"))
        return metafileRows();
    if (arguments.value(1) == QLatin1String("--held")) {
        QTemporaryDir temporary;
        const QString photo = temporary.path() + QStringLiteral("/photo.jpg");
        if (!temporary.isValid() || !writeFile(photo, jpegFile({6000, 4000}, 2)))
            return 1;
        viewer::loadInterfaceFont();
        runHeldKey(temporary.path(), photo);
        return 0;
    }
    return runBench();
}
