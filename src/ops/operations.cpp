#include "ops/operations.h"

#include "app/tform1.h"
#include "core/guard.h"
#include "core/timers.h"
#include "ops/senders.h"

Operations::Operations(TForm1 &form)
    : QObject(&form), f(form), m_own(std::make_unique<FormSenders>(form)), m_senders(m_own.get()) {
    f.onClick(f.bt_getall, [this] { bt_getallClick(); });
    f.onClick(f.bt_getinputs, [this] { bt_getinputsClick(); });
    f.onClick(f.bt_getoutputs, [this] { bt_getoutputsClick(); });
    f.onClick(f.bt_allcounter, [this] { bt_allcounterClick(); });
    f.onClick(f.bt_allcounterclear, [this] { bt_allcounterclearClick(); });
    f.onClick(f.bt_setoutput, [this] { bt_setoutputClick(); });
    f.onClick(f.bt_resetoutput, [this] { bt_resetoutputClick(); });
    f.onClick(f.bt_goround, [this] { bt_goroundClick(); });
    f.onClick(f.bt_option, [this] { bt_optionClick(); });

    f.onTimer(f.ti_intervalall, [this] { ti_intervalallTimer(); });
    f.onTimer(f.ti_intervalinputs, [this] { ti_intervalinputsTimer(); });
    f.onTimer(f.ti_intervalOutputs, [this] { ti_intervalOutputsTimer(); });
    f.onTimer(f.ti_intervalcounter, [this] { ti_intervalcounterTimer(); });
    f.onTimer(f.ti_intervalcounterclear, [this] { ti_intervalcounterclearTimer(); });
    f.onTimer(f.ti_setoutput, [this] { ti_setoutputTimer(); });
    f.onTimer(f.ti_goround, [this] { ti_goroundTimer(); });

    // Any change of an interval text applies it, typed by the user or set by
    // the program (the configuration file). The set and reset intervals have
    // no handler: the alternation reads them at each tick.
    const auto onChange = [this](QLineEdit *field, void (Operations::*handler)()) {
        connect(field, &QLineEdit::textChanged, this,
                [this, handler] { guard([this, handler] { (this->*handler)(); }); });
    };
    onChange(f.ed_intervalall, &Operations::ed_intervalallChange);
    onChange(f.ed_intervalinputs, &Operations::ed_intervalinputsChange);
    onChange(f.ed_intervaloutputs, &Operations::ed_intervaloutputsChange);
    onChange(f.ed_intervalcounter, &Operations::ed_intervalcounterChange);
    onChange(f.ed_intervalcounterclear, &Operations::ed_intervalcounterclearChange);
    onChange(f.ed_autogoround, &Operations::ed_autogoroundChange);
    for (QLineEdit *field : {f.ed_intervalset, f.ed_intervalreset})
        connect(field, &QLineEdit::textChanged, this,
                [this, field] { guard([this, field] { ed_intervalsetresetChange(field); }); });
}

Operations::~Operations() = default;

void Operations::setSenders(Senders *senders) { m_senders = senders ? senders : m_own.get(); }

void Operations::sendText(const QString &command) {
    switch (f.currentMode) {
    case modeHttp:
        // The HTTP channel sends what is stored at its current slot.
        f.httpRequestPaths[f.httpSlot] = command.mid(4); // without "GET "
        send().sendHTTP();
        break;
    case modeTcpClient: send().sendASCII(command); break;
    case modeTcpServer: send().sendASCIIServer(command); break;
    case modeUdpPeer: send().sendUDPASCII(command); break;
    default: break;
    }
}

void Operations::reportNotSupported() { f.writereport(QStringLiteral("**** Function not supported ****")); }
