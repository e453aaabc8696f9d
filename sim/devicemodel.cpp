#include "devicemodel.h"

namespace sim {

const QList<DeviceKind> &deviceCatalogue() {
    // The families 318 are the generation before 4.0, 319 and 320 the 4.0
    // generation. 31833 is the one device without the all-outputs command.
    static const QList<DeviceKind> kinds = {
        {31830, "12In/12Out", 12, 12, false, false}, {31831, "12In/12Out", 12, 12, false, false},
        {31832, "24I/24Out", 24, 24, false, false},  {31833, "2In/2Out legacy", 2, 2, false, true},
        {31834, "12In/6Rel", 12, 6, false, false},   {31837, "2In/2Out", 2, 2, false, false},
        {31838, "2In/2Out", 2, 2, false, false},     {31850, "6In/6Out", 6, 6, false, false},
        {31930, "12In/12Out", 12, 12, true, false},  {31931, "12In/12Out", 12, 12, true, false},
        {31932, "1In/1Out", 1, 1, true, false},      {31933, "4In/Out", 4, 4, true, false},
        {31934, "12In/6Rel", 12, 6, true, false},    {31936, "16In/Out", 16, 16, true, false},
        {31937, "2In/2Out", 2, 2, true, false},      {31938, "12In/8Rel", 12, 8, true, false},
        {32032, "2Out", 0, 2, true, false},          {32038, "8Out", 0, 8, true, false},
    };
    return kinds;
}

DeviceKind deviceKind(quint16 article) {
    for (const DeviceKind &k : deviceCatalogue())
        if (k.article == article)
            return k;
    // A number of the 4.0 families counts as a 4.0 device.
    const bool gen40 = article / 100 == 319 || article / 100 == 320;
    return {article, "unknown device", 16, 16, gen40, false};
}

DeviceModel::DeviceModel(quint16 article) : m_kind(deviceKind(article)) {}

void DeviceModel::setInputs(quint32 bits) {
    bits &= inputMask();
    const quint32 rising = bits & ~m_inputs;
    for (int i = 0; i < maxChannels; ++i)
        if (rising & (1u << i))
            ++m_counters[i];
    m_inputs = bits;
}

void DeviceModel::tick() { setInputs(++m_step); }

void DeviceModel::setOutputs(quint32 mask, quint32 state) {
    mask &= outputMask();
    m_outputs = (m_outputs & ~mask) | (state & mask);
}

void DeviceModel::toggleOutput(int n) {
    if (n >= 0 && n < m_kind.outputs)
        m_outputs ^= 1u << n;
}

void DeviceModel::setOutput(int n, bool on) {
    if (n >= 0 && n < m_kind.outputs)
        setOutputs(1u << n, on ? 1u << n : 0);
}

void DeviceModel::clearCounters() { m_counters.fill(0); }

void DeviceModel::clearCounter(int n) { setCounter(n, 0); }

void DeviceModel::setCounter(int n, quint32 value) {
    if (n >= 0 && n < m_kind.inputs) // a counter belongs to an input
        m_counters[n] = value;
}

void DeviceModel::restart() {
    m_outputs = 0;
    m_inputs = 0;
    m_step = 0;
    m_counters.fill(0);
    ++m_restarts;
}

} // namespace sim
