#pragma once
// The one simulated device behind every service: its type, password, inputs,
// outputs, pulse counters and clock. Whatever protocol sets something, the
// next read over any other protocol shows it.
//
// Inputs change on a pattern (tick) so that counters count: the inputs show a
// binary count, input i toggling every 2^i ticks, and every rising edge of an
// input adds 1 to its counter, as a pulse counter on a real input would.
#include <QDateTime>
#include <QList>
#include <QString>
#include <array>

namespace sim {

// A Korvo device type as its article number tells it.
struct DeviceKind {
    quint16 article;
    const char *name;
    int inputs;
    int outputs;
    bool device40; // the 4.0 generation (ASCII on port 42280)
    bool legacy;   // no all-outputs command ("allout")
};

// Every known article number, and one that no catalogue lists.
const QList<DeviceKind> &deviceCatalogue();
// The kind of an article number; an article outside the catalogue gives a
// kind "unknown device" with 16 inputs and 16 outputs.
DeviceKind deviceKind(quint16 article);

class DeviceModel {
public:
    static constexpr int maxChannels = 24;
    static constexpr quint16 defaultArticle = 31936; // 16 in / 16 out, 4.0

    explicit DeviceModel(quint16 article = defaultArticle);

    const DeviceKind &kind() const { return m_kind; }
    quint16 articleNumber() const { return m_kind.article; }
    int inputCount() const { return m_kind.inputs; }
    int outputCount() const { return m_kind.outputs; }
    quint32 outputMask() const { return mask(m_kind.outputs); }
    quint32 inputMask() const { return mask(m_kind.inputs); }

    QString password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }
    bool passwordMatches(const QString &given) const { return given == m_password; }

    quint32 inputs() const { return m_inputs; }
    quint32 outputs() const { return m_outputs; }
    quint32 counter(int i) const { return i >= 0 && i < maxChannels ? m_counters[i] : 0; }

    // Inputs from outside (a test, or the pattern); rising edges count.
    void setInputs(quint32 bits);
    // One step of the input pattern.
    void tick();

    // Outputs under a mask: bits of state where mask has a 1, the others kept.
    void setOutputs(quint32 mask, quint32 state);
    void setAllOutputs(quint32 state) { setOutputs(outputMask(), state); }
    void toggleOutput(int n);
    void setOutput(int n, bool on);

    void clearCounters();
    void clearCounter(int n);
    void setCounter(int n, quint32 value);

    // The device's clock runs from the moment it was set.
    QDateTime clock() const { return QDateTime::currentDateTime().addSecs(m_clockOffset); }
    void setClock(const QDateTime &time) { m_clockOffset = QDateTime::currentDateTime().secsTo(time); }

    // What the reset port does: the device starts afresh, outputs off,
    // counters 0, the input pattern from its start; the clock keeps running.
    void restart();
    int restartCount() const { return m_restarts; }

private:
    static quint32 mask(int n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1; }

    DeviceKind m_kind;
    QString m_password;
    quint32 m_inputs = 0;
    quint32 m_outputs = 0;
    std::array<quint32, maxChannels> m_counters{};
    quint32 m_step = 0;
    qint64 m_clockOffset = 0;
    int m_restarts = 0;
};

} // namespace sim
