#pragma once
// korvosim on a thread of its own. A REST request (and the unknown-device
// look-up) blocks the window's thread, which is the test's, so the device must
// answer from another one. Everything that touches the simulator runs on its
// thread: run() hands a call over and waits for it.
#include "simulator.h"

#include <QThread>
#include <functional>
#include <type_traits>

class SimThread {
public:
    // The device model's calls the tests make, each carried out on the
    // simulator's thread.
    class Model {
    public:
        explicit Model(SimThread &owner) : t(owner) {}
        void setInputs(quint32 bits) {
            t.run([&] { t.m_sim->model().setInputs(bits); });
        }
        void setOutputs(quint32 mask, quint32 state) {
            t.run([&] { t.m_sim->model().setOutputs(mask, state); });
        }
        void setAllOutputs(quint32 state) {
            t.run([&] { t.m_sim->model().setAllOutputs(state); });
        }
        void setCounter(int n, quint32 value) {
            t.run([&] { t.m_sim->model().setCounter(n, value); });
        }
        quint32 outputs() {
            return t.get([&] { return t.m_sim->model().outputs(); });
        }
        quint32 counter(int n) {
            return t.get([&] { return t.m_sim->model().counter(n); });
        }

    private:
        SimThread &t;
    };

    explicit SimThread(const sim::SimOptions &options = sim::SimOptions::forTest()) {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        run([&] {
            m_sim = new sim::Simulator(options);
            m_started = m_sim->start(&m_error);
        });
    }
    ~SimThread() {
        QThread *here = QThread::currentThread();
        run([this, here] {
            delete m_sim;
            m_context.moveToThread(here); // home again before the thread ends
        });
        m_thread.quit();
        m_thread.wait();
    }
    SimThread(const SimThread &) = delete;
    SimThread &operator=(const SimThread &) = delete;

    void run(const std::function<void()> &fn) {
        QMetaObject::invokeMethod(&m_context, fn, Qt::BlockingQueuedConnection);
    }
    template <class F> std::invoke_result_t<F &> get(F fn) {
        std::invoke_result_t<F &> value{};
        run([&] { value = fn(); });
        return value;
    }

    bool started() const { return m_started; }
    const QString &error() const { return m_error; }
    quint16 port(const QString &service) {
        return get([&] { return m_sim->port(service); });
    }
    Model &model() { return m_model; }

private:
    QThread m_thread;
    QObject m_context;
    sim::Simulator *m_sim = nullptr;
    bool m_started = false;
    QString m_error;
    Model m_model{*this};
};
