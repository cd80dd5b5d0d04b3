// Draws the program's pictures: the start picture (bitmap 134, 500 x 395, 24 bits per pixel)
// and the application icon (icon group 128) as SVG and as 16, 32 and 48 pixel PNGs.
// Run once by hand (target norvane_make_art, see res/CMakeLists.txt); its output is committed
// in res/images. Usage: norvane_make_art <output directory>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cstdio>

namespace {

// The icon in a 48 x 48 design space: a rounded tile, a lattice mast, four signal bars.
constexpr double kTile = 48.0;
const QColor kTileTop(0x1E, 0x5A, 0xA8);
const QColor kTileBottom(0x0B, 0x2E, 0x63);
const QColor kBarColor(0x6C, 0xE0, 0x4A);
constexpr double kBarX[4] = {26, 31, 36, 41};
constexpr double kBarH[4] = {8, 14, 20, 27};
constexpr double kBarW = 4;
constexpr double kBarBase = 40;

void DrawMast(QPainter& p, QPointF top, double height, double halfBase, double lineWidth,
              const QColor& color) {
    QPen pen(color, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QPointF left(top.x() - halfBase, top.y() + height);
    const QPointF right(top.x() + halfBase, top.y() + height);
    p.drawLine(top, left);
    p.drawLine(top, right);
    // Lattice: cross braces between the legs.
    const int braces = 4;
    for (int i = 1; i <= braces; ++i) {
        const double f0 = static_cast<double>(i - 1) / braces + 0.12;
        const double f1 = static_cast<double>(i) / braces;
        const QPointF a(top.x() - halfBase * f0, top.y() + height * f0);
        const QPointF b(top.x() + halfBase * f1, top.y() + height * f1);
        const QPointF c(top.x() + halfBase * f0, top.y() + height * f0);
        const QPointF d(top.x() - halfBase * f1, top.y() + height * f1);
        p.drawLine(a, b);
        p.drawLine(c, d);
    }
}

void DrawWaves(QPainter& p, QPointF centre, double r0, double step, int count, double width,
               const QColor& color) {
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    for (int i = 0; i < count; ++i) {
        const double r = r0 + step * i;
        const QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
        p.drawArc(box, 30 * 16, 120 * 16);
    }
}

void DrawIcon(QPainter& p, double size) {
    p.save();
    p.scale(size / kTile, size / kTile);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient tile(0, 0, 0, kTile);
    tile.setColorAt(0, kTileTop);
    tile.setColorAt(1, kTileBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, kTile - 2, kTile - 2), 8, 8);
    DrawMast(p, QPointF(15, 12), 29, 8, 2.6, Qt::white);
    DrawWaves(p, QPointF(15, 12), 5, 5, 2, 2.2, Qt::white);
    p.setPen(Qt::NoPen);
    p.setBrush(kBarColor);
    for (int i = 0; i < 4; ++i) {
        p.drawRoundedRect(QRectF(kBarX[i], kBarBase - kBarH[i], kBarW, kBarH[i]), 1, 1);
    }
    p.restore();
}

QString IconSvg() {
    QString svg;
    QTextStream s(&svg);
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<!-- Norvane UMTS application icon; written by res/art/make_art.cpp -->\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" "
         "viewBox=\"0 0 48 48\">\n"
      << "  <defs><linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">"
      << "<stop offset=\"0\" stop-color=\"" << kTileTop.name() << "\"/>"
      << "<stop offset=\"1\" stop-color=\"" << kTileBottom.name() << "\"/>"
      << "</linearGradient></defs>\n"
      << "  <rect x=\"1\" y=\"1\" width=\"46\" height=\"46\" rx=\"8\" fill=\"url(#tile)\"/>\n"
      << "  <g stroke=\"#ffffff\" stroke-width=\"2.6\" stroke-linecap=\"round\" fill=\"none\">\n"
      << "    <path d=\"M15 12 L7 41 M15 12 L23 41\"/>\n";
    for (int i = 1; i <= 4; ++i) {
        const double f0 = (i - 1) / 4.0 + 0.12;
        const double f1 = i / 4.0;
        s << "    <path d=\"M" << 15 - 8 * f0 << ' ' << 12 + 29 * f0 << " L" << 15 + 8 * f1 << ' '
          << 12 + 29 * f1 << " M" << 15 + 8 * f0 << ' ' << 12 + 29 * f0 << " L" << 15 - 8 * f1
          << ' ' << 12 + 29 * f1 << "\"/>\n";
    }
    s << "  </g>\n  <g stroke=\"#ffffff\" stroke-width=\"2.2\" stroke-linecap=\"round\" "
         "fill=\"none\">\n";
    for (int i = 0; i < 2; ++i) {
        const double r = 5 + 5 * i;
        // Arc from 30 to 150 degrees around (15, 12), y pointing down.
        const double x0 = 15 + r * 0.8660254;
        const double x1 = 15 - r * 0.8660254;
        const double y = 12 - r * 0.5;
        s << "    <path d=\"M" << x0 << ' ' << y << " A" << r << ' ' << r << " 0 0 0 " << x1 << ' '
          << y << "\"/>\n";
    }
    s << "  </g>\n  <g fill=\"" << kBarColor.name() << "\">\n";
    for (int i = 0; i < 4; ++i) {
        s << "    <rect x=\"" << kBarX[i] << "\" y=\"" << kBarBase - kBarH[i] << "\" width=\""
          << kBarW << "\" height=\"" << kBarH[i] << "\" rx=\"1\"/>\n";
    }
    s << "  </g>\n</svg>\n";
    return svg;
}

QImage StartPicture() {
    QImage image(500, 395, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Evening sky and a dark horizon.
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(0x0B, 0x1F, 0x4A));
    sky.setColorAt(0.7, QColor(0x2B, 0x6C, 0xB8));
    sky.setColorAt(1, QColor(0x9F, 0xC8, 0xE8));
    p.fillRect(image.rect(), sky);
    QPainterPath hills;
    hills.moveTo(0, 305);
    hills.cubicTo(120, 270, 220, 320, 330, 290);
    hills.cubicTo(420, 268, 470, 290, 500, 280);
    hills.lineTo(500, 395);
    hills.lineTo(0, 395);
    hills.closeSubpath();
    QLinearGradient ground(0, 270, 0, 395);
    ground.setColorAt(0, QColor(0x1F, 0x4D, 0x2B));
    ground.setColorAt(1, QColor(0x0A, 0x1E, 0x10));
    p.setPen(Qt::NoPen);
    p.setBrush(ground);
    p.drawPath(hills);
    // Glow around the antenna.
    QRadialGradient glow(QPointF(150, 70), 120);
    glow.setColorAt(0, QColor(255, 255, 255, 70));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(glow);
    p.drawEllipse(QPointF(150, 70), 120, 120);
    // The mast and its waves.
    DrawMast(p, QPointF(150, 60), 240, 52, 5, QColor(0xE8, 0xEE, 0xF4));
    p.setPen(QPen(QColor(0xE8, 0xEE, 0xF4), 5));
    p.drawLine(QPointF(138, 60), QPointF(162, 60));
    p.setBrush(QColor(0xFF, 0x40, 0x30));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(150, 52), 6, 6);
    DrawWaves(p, QPointF(150, 56), 28, 22, 4, 4, QColor(255, 255, 255, 200));
    // Signal bars, rising.
    const QColor bars[5] = {QColor(0xE0, 0x4A, 0x3A), QColor(0xF0, 0x9A, 0x30),
                            QColor(0xF0, 0xD8, 0x40), QColor(0x9A, 0xDC, 0x48),
                            QColor(0x4C, 0xD0, 0x60)};
    for (int i = 0; i < 5; ++i) {
        const double h = 40 + 34 * i;
        const QRectF bar(290 + 36 * i, 300 - h, 26, h);
        QLinearGradient shade(bar.topLeft(), bar.topRight());
        shade.setColorAt(0, bars[i].lighter(125));
        shade.setColorAt(1, bars[i].darker(115));
        p.setBrush(shade);
        p.drawRoundedRect(bar, 3, 3);
    }
    // Name.
    QFont title(QStringLiteral("Liberation Sans"));
    title.setPixelSize(34);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0xF4, 0xF8, 0xFC));
    p.drawText(QRectF(0, 325, 500, 40), Qt::AlignCenter, QStringLiteral("Norvane UMTS"));
    QFont sub(QStringLiteral("Liberation Sans"));
    sub.setPixelSize(15);
    p.setFont(sub);
    p.setPen(QColor(0xB8, 0xD4, 0xEC));
    p.drawText(QRectF(0, 362, 500, 24), Qt::AlignCenter,
               QStringLiteral("3G and LTE cell monitor: NetMonitor and Radio"));
    p.end();
    return image;
}

bool Save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = Save(StartPicture(), out.filePath(QStringLiteral("start.png")));
    for (int size : {16, 32, 48}) {
        QImage icon(size, size, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        QPainter p(&icon);
        DrawIcon(p, size);
        p.end();
        ok = Save(icon, out.filePath(QStringLiteral("icon-%1.png").arg(size))) && ok;
    }
    QFile svg(out.filePath(QStringLiteral("icon.svg")));
    if (svg.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        svg.write(IconSvg().toUtf8());
    } else {
        ok = false;
    }
    return ok ? 0 : 1;
}
