// Shared test helpers.
#include "test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <stdexcept>

namespace segmora::test {
namespace {

void copyTree(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        const QFileInfo info(source);
        if (info.isDir()) {
            QDir().mkpath(target);
        } else {
            QDir().mkpath(QFileInfo(target).absolutePath());
            if (!QFile::copy(source, target))
                throw std::runtime_error("cannot copy " + source.toStdString());
            QFile(target).setPermissions(info.permissions());
        }
    }
}

} // namespace

TempProgramFolder::TempProgramFolder() {
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    copyTree(QStringLiteral(SEGMORA_PROGRAM_DIR), m_dir.path());
}

QString TempProgramFolder::path() const {
    return m_dir.path() + QLatin1Char('/');
}

QString TempProgramFolder::writeFile(const QString& relativePath, const QByteArray& content) const {
    const QString full = path() + relativePath;
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + full.toStdString());
    file.write(content);
    return full;
}

QString fixture(const QString& name) {
    return QStringLiteral(SEGMORA_FIXTURE_DIR) + QLatin1Char('/') + name;
}

void failOnPlayerErrors() {
    // The tests play through libmpv's null audio output, which on a frame step now and then
    // logs "illegal state: start() while paused" about its own bookkeeping and plays on. Users
    // hear a real output, so only that output's messages are let through.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("^libmpv \\S+ \\((?!ao/null\\))")));
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    if (::getrlimit(RLIMIT_FSIZE, &m_previousLimit) != 0)
        return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (::sigaction(SIGXFSZ, &ignore, &m_previousAction) != 0)
        return;
    struct rlimit limit = m_previousLimit;
    limit.rlim_cur = bytes;
    if (m_previousLimit.rlim_max != RLIM_INFINITY && m_previousLimit.rlim_max < bytes)
        limit.rlim_cur = m_previousLimit.rlim_max;
    m_active = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    if (!m_active)
        ::sigaction(SIGXFSZ, &m_previousAction, nullptr);
}

FileSizeLimit::~FileSizeLimit() {
    if (!m_active)
        return;
    ::setrlimit(RLIMIT_FSIZE, &m_previousLimit);
    ::sigaction(SIGXFSZ, &m_previousAction, nullptr);
}

} // namespace segmora::test
