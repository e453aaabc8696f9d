#pragma once
// The program's errors. Every error carries a kind (the name a report line
// shows before " : ") and a message (what a message box shows).
#include <QString>
#include <exception>
#include <string>

class KError : public std::exception {
public:
    KError(QString kind, QString message)
        : m_kind(std::move(kind)), m_message(std::move(message)), m_utf8(m_message.toStdString()) {}
    const QString &kind() const { return m_kind; }
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_kind;
    QString m_message;
    std::string m_utf8;
};

// A text that does not convert to a number. The message is the one the user
// sees: "'%s' ist kein gültiger Integerwert".
class EConvertError : public KError {
public:
    explicit EConvertError(const QString &message) : KError(QStringLiteral("EConvertError"), message) {}
};

// A socket operation failed and the socket had no error handler to take it.
class ESocketError : public KError {
public:
    explicit ESocketError(const QString &message) : KError(QStringLiteral("ESocketError"), message) {}
};
