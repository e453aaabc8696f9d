#pragma once
// The user-level commands of "Get and Set" and of the I/O display: reads,
// counter clears, output writes and toggles, the go-round, single counters,
// and their automatic repetition by the window's timers.
//
// An operation owns nothing but its decision: it reads the controls, looks at
// currentMode and hands a request to the sender of that mode (one switch per
// operation below lists every mode's row). Nothing waits for a reply; the
// replies come back through the mode's decoder into IoState.
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <memory>

class TForm1;
class Senders;
class Lamp;
class CounterField;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTimer;

class Operations : public QObject {
    Q_OBJECT
public:
    // Wires the buttons, timers and interval fields of "Get and Set".
    explicit Operations(TForm1 &form);
    ~Operations() override;

    // The senders in use; tests put a recorder here. nullptr restores the
    // window's channels.
    void setSenders(Senders *senders);

    // Who started an operation: some modes ask differently by timer.
    enum class Trigger { Button, Timer };

    // ---- reads and counter clears ----
    void getAll(Trigger by);
    void getInputs(Trigger by);
    void getOutputs(Trigger by);
    void getAllCounters(Trigger by);
    void clearAllCounters(Trigger by);

    void bt_getallClick() { getAll(Trigger::Button); }
    void bt_getinputsClick() { getInputs(Trigger::Button); }
    void bt_getoutputsClick() { getOutputs(Trigger::Button); }
    void bt_allcounterClick() { getAllCounters(Trigger::Button); }
    void bt_allcounterclearClick() { clearAllCounters(Trigger::Button); }
    void ti_intervalallTimer();
    void ti_intervalinputsTimer();
    void ti_intervalOutputsTimer();
    void ti_intervalcounterTimer();
    void ti_intervalcounterclearTimer();
    void ed_intervalallChange();
    void ed_intervalinputsChange();
    void ed_intervaloutputsChange();
    void ed_intervalcounterChange();
    void ed_intervalcounterclearChange();

    // ---- outputs ----
    void bt_setoutputClick() { sendOutputs(true); }
    void bt_resetoutputClick() { sendOutputs(false); }
    void ti_setoutputTimer();
    // A set or reset interval typed (or set by the configuration) while the
    // alternation is silent at interval 0 takes effect at once.
    void ed_intervalsetresetChange(QLineEdit *field);
    void sh_out_ledonMouseDown(Lamp *Sender, Qt::MouseButton Button);
    void bt_optionClick();

    // ---- go-round ----
    void bt_goroundClick() { goroundOneStep(); }
    void ti_goroundTimer();
    void ed_autogoroundChange();

    // ---- single counters ----
    void pa_counteronClick(CounterField *Sender);
    void bt_getonClick(QPushButton *Sender);

private:
    Senders &send() const { return *m_senders; }
    // The text protocols share one command set: an ASCII command is "GET "
    // followed by the path the web server takes. Sends command in modes 2, 3
    // and 4, and its path in mode 0.
    void sendText(const QString &command);
    // The report line of a command the mode's protocol does not offer.
    void reportNotSupported();
    // One tick of a polling timer: the operation, if its auto box is ticked.
    void pollTick(QCheckBox *autoBox, void (Operations::*operation)(Trigger));
    // The interval rule of the polling fields: empty leaves the timer as it is.
    static void intervalChange(QLineEdit *field, QTimer *timer);
    void sendOutputs(bool set);
    void goroundOneStep();
    void goroundAdvance();
    void clearCounter(int n);
    void readCounter(int n);

    TForm1 &f;
    std::unique_ptr<Senders> m_own;
    Senders *m_senders;
};
