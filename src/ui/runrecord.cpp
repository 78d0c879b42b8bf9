// The run record: a saved log's header, the summary table, several ZIP paths.
#include "ui/runrecord.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace morvik::ui {
namespace {

const QString kLineBreak = QStringLiteral("\r\n");

QString count(std::size_t n) {
    return QLocale(QLocale::Japanese, QLocale::Japan).toString(qulonglong(n));
}

QString timeText(const QDateTime& time) {
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

QString causeText(const RunRecord& run) {
    QString text = QStringLiteral("調査できませんでした");
    if (!run.cause.empty()) {
        text += u'：' + QString::fromStdString(run.cause.front());
    }
    return text;
}

// The reception check's findings after the documents' counts; an エラー
// among them fails the run as a failing document does.
QString receptionText(std::size_t errors, std::size_t cautions) {
    return QStringLiteral("　受付エラー %1件／受付注意 %2件").arg(count(errors), count(cautions));
}

} // namespace

int RunRecord::exitStatus() const {
    switch (outcome) {
    case inspection::RunOutcome::allValid:
        return 0;
    case inspection::RunOutcome::someFailed:
        return 1;
    case inspection::RunOutcome::endedEarly:
        return 2;
    case inspection::RunOutcome::stopped:
        break;
    }
    return -1;
}

QString programVersion() {
    return QStringLiteral(MORVIK_VERSION);
}

QString resultText(const RunRecord& run) {
    const report::RunTally& tally = run.tally;
    switch (run.outcome) {
    case inspection::RunOutcome::allValid:
    case inspection::RunOutcome::someFailed:
        return QStringLiteral("調査完了　OK %1件／エラー %2件")
                   .arg(count(tally.ok()), count(tally.failed)) +
               (tally.receptionChecked
                    ? receptionText(tally.receptionErrors, tally.receptionCautions)
                    : QString());
    case inspection::RunOutcome::stopped:
        return QStringLiteral("調査を中止しました　OK %1件／エラー %2件（全 %3件）")
            .arg(count(tally.ok()), count(tally.failed), count(tally.total));
    case inspection::RunOutcome::endedEarly:
        break;
    }
    return causeText(run);
}

QString severalResultText(const std::vector<RunRecord>& runs) {
    std::size_t ok = 0;
    std::size_t failed = 0;
    std::size_t errors = 0;
    std::size_t cautions = 0;
    bool checked = false;
    for (const RunRecord& run : runs) {
        ok += run.tally.ok();
        failed += run.tally.failed;
        errors += run.tally.receptionErrors;
        cautions += run.tally.receptionCautions;
        checked = checked || run.tally.receptionChecked;
    }
    return QStringLiteral("調査完了　ZIPファイル %1件　OK %2件／エラー %3件")
               .arg(count(runs.size()), count(ok), count(failed)) +
           (checked ? receptionText(errors, cautions) : QString());
}

QString logHeader(const std::vector<RunRecord>& runs) {
    QString text;
    for (const RunRecord& run : runs) {
        const QString zip = QDir::toNativeSeparators(QFileInfo(run.zipPath).absoluteFilePath());
        text += QStringLiteral("ZIPファイル：") + zip + kLineBreak;
        text += QStringLiteral("調査開始：") + timeText(run.started) + kLineBreak;
        text += QStringLiteral("調査終了：") + timeText(run.ended) + kLineBreak;
        text += QStringLiteral("スキーマフォルダ：") + QDir::toNativeSeparators(run.schemaFolder) +
                kLineBreak;
        text += QStringLiteral("プログラム：Morvik ") + programVersion() + kLineBreak;
        text += QStringLiteral("結果：") + resultText(run) + kLineBreak;
        for (std::size_t i = 1; i < run.cause.size(); ++i) {
            text += QStringLiteral("　　") + QString::fromStdString(run.cause[i]) + kLineBreak;
        }
    }
    text += QString(40, u'─') + kLineBreak;
    return text;
}

QString savedLogPath(const QString& zipPath) {
    const QFileInfo zip(zipPath);
    return zip.absolutePath() + u'/' + zip.completeBaseName() + QStringLiteral("_調査結果.txt");
}

QString savedCsvPath(const QString& zipPath) {
    const QFileInfo zip(zipPath);
    return zip.absolutePath() + u'/' + zip.completeBaseName() + QStringLiteral("_調査結果.csv");
}

QString summaryTable(const std::vector<RunRecord>& runs) {
    // As the command line sets it out: counts first, right-aligned in
    // columns of a fixed-pitch face (a kanji two columns wide), so that they
    // line up whatever the archives' names, then the archive.
    const auto column = [](const QString& text, int width) {
        return QString(std::max<qsizetype>(0, width - text.size()), u' ') + text;
    };
    const auto number = [&](std::size_t value, int width) {
        return column(QString::number(qulonglong(value)), width);
    };
    QString text =
        kLineBreak + QStringLiteral("==== 集計 ====") + kLineBreak +
        QStringLiteral("      OK    エラー  受付エラー  受付注意  終了状態  アーカイブ") +
        kLineBreak;
    int worst = 0;
    for (const RunRecord& run : runs) {
        const int status = run.exitStatus();
        worst = std::max(worst, status);
        text += number(run.tally.ok(), 8) + number(run.tally.failed, 10) +
                number(run.tally.receptionErrors, 12) + number(run.tally.receptionCautions, 10) +
                column(status < 0 ? QStringLiteral("-") : QString::number(status), 10) +
                QStringLiteral("  ") + QDir::toNativeSeparators(run.zipPath);
        if (run.outcome == inspection::RunOutcome::endedEarly) {
            text += QStringLiteral("  （調査できませんでした）");
        } else if (status < 0) {
            text += QStringLiteral("  （中止）");
        }
        text += kLineBreak;
    }
    text += QStringLiteral("アーカイブ %1 件、最も悪い終了状態 %2").arg(runs.size()).arg(worst) +
            kLineBreak;
    return text;
}

QStringList severalZipPaths(const QString& text) {
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(u'"') || !trimmed.endsWith(u'"')) {
        return {};
    }
    QStringList paths;
    qsizetype at = 0;
    while (at < trimmed.size()) {
        if (trimmed[at] == u' ') {
            ++at;
            continue;
        }
        if (trimmed[at] != u'"') {
            return {};
        }
        const qsizetype close = trimmed.indexOf(u'"', at + 1);
        if (close < 0) {
            return {};
        }
        paths << trimmed.mid(at + 1, close - at - 1);
        at = close + 1;
    }
    return paths.size() >= 2 ? paths : QStringList();
}

QString severalZipText(const QStringList& paths) {
    QStringList quoted;
    for (const QString& path : paths) {
        quoted << u'"' + path + u'"';
    }
    return quoted.join(u' ');
}

} // namespace morvik::ui
