#include "dashboard/SnrReportFiles.h"

#include <QBuffer>
#include <QByteArray>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>
#include <optional>

namespace keyscope {

namespace {

// At 72 dots per inch a device pixel is a point, so every size below is in points.
constexpr int kPointsPerInch = 72;
constexpr qreal kMarginMm = 15;
constexpr qreal kLine = 13;  // one line of the header text
constexpr qreal kRow = 12;   // one row of the table
constexpr qreal kChartHeight = 190;

const QColor kPass(0x2e, 0x7d, 0x32);
const QColor kFail(0xc6, 0x28, 0x28);
const QColor kGrid(0xbd, 0xbd, 0xbd);

QFont font(int points, bool bold = false) {
    // Arial's metric twin, as the rest of the program draws.
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(points);
    f.setBold(bold);
    return f;
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// The table's headings, two lines where the CSV's names are long.
constexpr std::array<const char*, kSnrColumns.size()> kHeadings{
    "key", "untouched\nmean", "noise\npp",   "noise\nrms", "touched\nmean", "signal",
    "SNR", "margin\nin",      "margin\nout", "result"};
constexpr std::array<qreal, kSnrColumns.size() - 1> kColumnWidths{30, 50, 42, 42, 48,
                                                                  44, 42, 42, 44};

// A step of 1, 2 or 5 times a power of ten that cuts `span` into at most six parts.
double tickStep(double span) {
    const double rough = span / 6.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= rough) {
            return factor * power;
        }
    }
    return 10.0 * power;
}

class PageDrawer {
  public:
    PageDrawer(QPainter& painter, qreal width) : p_(painter), width_(width) {}

    qreal header(const SnrReport& report, qreal y) {
        p_.setPen(Qt::black);
        p_.setFont(font(18, true));
        p_.drawText(QRectF(0, y, width_, 24), Qt::AlignLeft | Qt::AlignVCenter,
                    QStringLiteral("Keyscope SNR test"));
        y += 30;
        p_.setFont(font(9));
        char chip[96];
        std::snprintf(chip, sizeof chip, "trigger level %u, pre-scale %u, TKTMR 0x%02X",
                      report.triggerLevel, report.preScale, report.tktmr);
        for (const std::string& line :
             {"Date and time: " + utcText(report.utcMs),
              "Link: " + report.link + "; board: " + report.board,
              "Chip settings: " + std::string(chip),
              "Test settings: " + settingsLine(report.results.settings)}) {
            p_.drawText(QRectF(0, y, width_, kLine), Qt::AlignLeft | Qt::AlignVCenter, text(line));
            y += kLine;
        }
        return y + 8;
    }

    qreal table(const SnrResults& results, qreal y) {
        p_.setFont(font(8, true));
        p_.setPen(Qt::black);
        qreal x = 0;
        for (std::size_t c = 0; c < kHeadings.size(); ++c) {
            const qreal w = columnWidth(c);
            p_.drawText(QRectF(x, y, w - 4, 2 * kRow), alignment(c) | Qt::AlignBottom,
                        QString::fromUtf8(kHeadings[c]));
            x += w;
        }
        y += 2 * kRow + 2;
        p_.setPen(QPen(kGrid, 0.5));
        p_.drawLine(QPointF(0, y), QPointF(width_, y));
        p_.setFont(font(8));
        const QFontMetricsF metrics(p_.font());
        for (const SnrKeyResult& key : results.keys) {
            const auto cells = snrShownCells(key);
            x = 0;
            for (std::size_t c = 0; c < cells.size(); ++c) {
                const qreal w = columnWidth(c);
                const QString cell = text(cells[c]);
                const bool result = c == kSnrColumns.size() - 1;
                const QColor colour = cell.endsWith('!') || (result && !key.passed()) ? kFail
                                      : result                                        ? kPass
                                                                                      : Qt::black;
                p_.setPen(colour);
                p_.drawText(QRectF(x, y, w - 4, kRow), alignment(c) | Qt::AlignVCenter,
                            metrics.elidedText(cell, Qt::ElideRight, w - 4));
                x += w;
            }
            y += kRow;
        }
        return y + 10;
    }

    qreal chart(const SnrResults& results, qreal y) {
        const double limit = results.settings.snrLimit;
        p_.setPen(Qt::black);
        p_.setFont(font(10, true));
        p_.drawText(
            QRectF(0, y, width_, 14), Qt::AlignLeft | Qt::AlignVCenter,
            text("SNR of every key against the limit " + formatFigure(limit, "", 1) + " (dashed)"));
        y += 20;
        double top = limit * 1.5;
        for (const SnrKeyResult& key : results.keys) {
            if (key.figures.snr && std::isfinite(*key.figures.snr)) {
                top = std::max(top, *key.figures.snr * 1.1);
            }
        }
        const qreal left = 28;
        const qreal plotTop = y + 10;  // room for a bar's label
        const qreal base = y + kChartHeight - 16;
        const auto yOf = [&](double snr) {
            return base - (base - plotTop) * std::clamp(snr / top, 0.0, 1.0);
        };
        p_.setFont(font(7));
        const double step = tickStep(top);
        for (double tick = 0; tick <= top; tick += step) {
            p_.setPen(QPen(kGrid, 0.5));
            p_.drawLine(QPointF(left, yOf(tick)), QPointF(width_, yOf(tick)));
            p_.setPen(Qt::black);
            p_.drawText(QRectF(0, yOf(tick) - 5, left - 4, 10), Qt::AlignRight | Qt::AlignVCenter,
                        QString::number(tick, 'g', 4));
        }
        const qreal slot =
            (width_ - left) / static_cast<qreal>(std::max<std::size_t>(results.keys.size(), 1));
        qreal x = left;
        for (const SnrKeyResult& key : results.keys) {
            const std::optional<double>& snr = key.figures.snr;
            const QRectF label(x, base + 2, slot, 10);
            p_.setPen(Qt::black);
            p_.drawText(label, Qt::AlignCenter, QStringLiteral("TK%1").arg(key.key));
            const QString value = snr ? text(formatFigure(snr, "", 2)) : QStringLiteral("n/m");
            const qreal barTop = snr ? yOf(std::max(*snr, 0.0)) : base;
            if (snr) {
                p_.fillRect(QRectF(x + slot * 0.2, barTop, slot * 0.6, base - barTop),
                            key.passed() ? kPass : kFail);
            }
            p_.drawText(QRectF(x, barTop - 10, slot, 10), Qt::AlignCenter, value);
            x += slot;
        }
        p_.setPen(QPen(kFail, 1.2, Qt::DashLine));
        p_.drawLine(QPointF(left, yOf(limit)), QPointF(width_, yOf(limit)));
        p_.setPen(QPen(Qt::black, 0.8));
        p_.drawLine(QPointF(left, base), QPointF(width_, base));
        return y + kChartHeight + 6;
    }

    qreal suggestion(const SnrResults& results, qreal y) {
        const SnrSuggestion& s = results.suggestion;
        p_.setPen(Qt::black);
        p_.setFont(font(11, true));
        p_.drawText(QRectF(0, y, width_, 16), Qt::AlignLeft | Qt::AlignVCenter,
                    s.level ? QStringLiteral("Suggested trigger level: %1").arg(*s.level)
                            : QStringLiteral("No suggested trigger level"));
        y += 18;
        p_.setFont(font(9));
        y = paragraph(s.level ? "Rule: " + s.explanation : "Why: " + s.explanation, y);
        if (!s.warning.empty()) {
            p_.setPen(kFail);
            y = paragraph("Warning: " + s.warning, y);
            p_.setPen(Qt::black);
        }
        std::string flagged;
        for (const SnrKeyResult& key : results.keys) {
            if (key.touchedWhileQuiet) {
                flagged += (flagged.empty() ? "TK" : ", TK") + std::to_string(key.key);
            }
        }
        if (!flagged.empty()) {
            y = paragraph("Touched during the quiet phase: " + flagged, y);
        }
        if (anyMarginMarked(results)) {
            y = paragraph("! marks a margin at or below zero", y);
        }
        const auto passed = std::count_if(results.keys.begin(), results.keys.end(),
                                          [](const SnrKeyResult& k) { return k.passed(); });
        return paragraph(
            std::to_string(passed) + " of " + std::to_string(results.keys.size()) + " keys passed",
            y);
    }

  private:
    qreal columnWidth(std::size_t column) const {
        return column < kColumnWidths.size()
                   ? kColumnWidths[column]
                   : width_ - std::accumulate(kColumnWidths.begin(), kColumnWidths.end(), 0.0);
    }
    static Qt::Alignment alignment(std::size_t column) {
        return column == 0 || column == kSnrColumns.size() - 1 ? Qt::AlignLeft : Qt::AlignRight;
    }
    qreal paragraph(const std::string& line, qreal y) {
        QRectF box(0, y, width_, 1000);
        QRectF used;
        p_.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text(line), &used);
        return y + std::max(used.height(), kLine);
    }

    QPainter& p_;
    qreal width_;
};

}  // namespace

std::string snrReportPdf(const SnrReport& report) {
    // Declared before the application, so that they outlive it.
    char name[] = "keyscope";
    char platformOption[] = "-platform";
    char offscreen[] = "offscreen";
    char* argv[] = {name, platformOption, offscreen, nullptr};
    int argc = 3;
    std::unique_ptr<QGuiApplication> own;
    if (QCoreApplication::instance() == nullptr) {
        own = std::make_unique<QGuiApplication>(argc, argv);
    }

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kPointsPerInch);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                         QPageLayout::Millimeter));
        writer.setTitle(QStringLiteral("Keyscope SNR test"));
        writer.setCreator(QStringLiteral("Keyscope"));
        QPainter painter(&writer);
        painter.setRenderHint(QPainter::Antialiasing);
        PageDrawer page(painter, writer.width());
        qreal y = page.header(report, 0);
        y = page.table(report.results, y);
        y = page.chart(report.results, y);
        page.suggestion(report.results, y);
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string snrReportContent(const SnrReport& report, SnrReportFormat format) {
    switch (format) {
        case SnrReportFormat::Pdf:
            return snrReportPdf(report);
        case SnrReportFormat::Csv:
            return snrCsv(report);
        case SnrReportFormat::Json:
            return snrJson(report);
    }
    return {};
}

CsvSave writeSnrReport(const std::string& path, SnrReportFormat format, const SnrReport& report,
                       Messages& messages) {
    const std::string kind = snrReportExtension(format) + 1;  // "pdf": "Cannot Create pdf file"
    return writeFileWhole(path, snrReportContent(report, format), kind, messages);
}

SavedReports saveSnrReportsNow(const SnrReport& report, Messages& messages) {
    const SaveMoment now = saveMomentNow();
    SavedReports saved;
    for (const SnrReportFormat format :
         {SnrReportFormat::Pdf, SnrReportFormat::Csv, SnrReportFormat::Json}) {
        const std::string path =
            timedFilePath(now.directory, now.localTime, "_snr", snrReportExtension(format));
        saved.result = writeSnrReport(path, format, report, messages);
        if (saved.result != CsvSave::Saved) {
            break;
        }
        saved.paths.push_back(path);
    }
    return saved;
}

}  // namespace keyscope
