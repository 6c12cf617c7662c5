// The error type raised below the UI handlers; the error guard shows its text to the user.
#pragma once

#include <QString>
#include <stdexcept>

namespace segmora {

// An error whose message is meant for the user, in plain words.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace segmora
