#include "cli/Terminal.h"
#include "scan/ScanSession.h"

#include "archive/VisibleText.h"

#include <cstdio>
#include <memory>
#include <unistd.h>

bool stderrIsTerminal()
{
    return isatty(STDERR_FILENO);
}

void printLine(FILE *stream, const QString &text)
{
    fputs((visibleText(text) + QLatin1Char('\n')).toUtf8().constData(), stream);
}

WalkHooks scanTerminalHooks(DispatchCounts *counts)
{
    WalkHooks hooks;
    hooks.dispatched = [counts](const DispatchedEntry &entry) { ++counts->perKind[entry.kind]; };
    if (stderrIsTerminal()) {
        auto maximum = std::make_shared<qint64>(1);
        hooks.started = [maximum](qint64 units) { *maximum = qMax<qint64>(units, 1); };
        hooks.tick = [maximum](qint64 units) {
            fprintf(stderr, "\rScanning OLM File... %3lld%%", qMin<qint64>(100, units * 100 / *maximum));
            fflush(stderr);
        };
    }
    return hooks;
}

void TerminalProgressBar::setMaximum(qint64 maximum)
{
    m_maximum = qMax<qint64>(maximum, 1);
    draw();
}

void TerminalProgressBar::setCaption(const QString &caption)
{
    m_caption = caption;
    draw();
}

void TerminalProgressBar::advance()
{
    ++m_value;
    draw();
}

void TerminalProgressBar::finish()
{
    if (m_enabled && !m_shown.isEmpty())
        fputs("\n", stderr);
    m_shown.clear();
}

void TerminalProgressBar::draw()
{
    if (!m_enabled || m_caption.isEmpty())
        return;
    constexpr int kWidth = 30;
    const qint64 value = qMin(m_value, m_maximum);
    const int filled = int(value * kWidth / m_maximum);
    const QString text = QStringLiteral("\r%1 [%2%3] %4%")
                             .arg(m_caption.leftJustified(28), QString(filled, QLatin1Char('#')),
                                  QString(kWidth - filled, QLatin1Char(' ')))
                             .arg(value * 100 / m_maximum, 3);
    if (text == m_shown)
        return;
    m_shown = text;
    fputs(text.toUtf8().constData(), stderr);
    fflush(stderr);
}

int reportRefusal(const QByteArray &path, const ScanRefusal &refusal)
{
    printLine(stderr, QStringLiteral("mendora-cli: ") + openFailureMessage(refusal, QString::fromLocal8Bit(path)));
    switch (refusal.failure) {
    case OpenFailure::Missing: return kExitMissingFile;
    case OpenFailure::Directory: return kExitDirectory;
    case OpenFailure::NoPermission: return kExitNoPermission;
    case OpenFailure::Empty: return kExitEmptyFile;
    default: return kExitRefused;
    }
}
