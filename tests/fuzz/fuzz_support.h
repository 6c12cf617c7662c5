// Small helpers shared by the fuzz targets: a check that stops the run with a message, and
// ways to read the fuzzer's bytes as text and numbers.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A broken promise of the code under test: libFuzzer keeps the input that led here.
#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: %s failed: %s\n", __FILE__, __LINE__, #condition,         \
                         qPrintable(QString(detail)));                                             \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace segmora::fuzz {

// Reads the fuzzer's bytes front to back; past the end every read gives zeros or nothing.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size)
        : m_data(reinterpret_cast<const char*>(data)), m_size(size) {}

    std::uint8_t byte() { return m_at < m_size ? std::uint8_t(m_data[m_at++]) : 0; }

    double number() {
        double value = 0;
        if (m_size - m_at >= sizeof value) {
            std::memcpy(&value, m_data + m_at, sizeof value);
            m_at += sizeof value;
        }
        return value;
    }

    // The bytes up to the next zero byte (not included), or the rest.
    QByteArray field() {
        const std::size_t begin = m_at;
        while (m_at < m_size && m_data[m_at] != '\0')
            ++m_at;
        const QByteArray text(m_data + begin, qsizetype(m_at - begin));
        if (m_at < m_size)
            ++m_at;
        return text;
    }

    QByteArray rest() {
        const QByteArray text(m_data + m_at, qsizetype(m_size - m_at));
        m_at = m_size;
        return text;
    }

    bool atEnd() const { return m_at >= m_size; }

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

} // namespace segmora::fuzz

namespace segmora::fuzz {

// Writes files without the flush to disk of the real writer, which would spend the run waiting
// for the disk; what is written and where is the same.
inline bool writeWithoutSync(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

} // namespace segmora::fuzz
