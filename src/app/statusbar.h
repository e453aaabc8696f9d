#pragma once
// The window's status bar: three text panels (200, 110 and 200 pixels wide).
// A click anywhere on it emits clicked().
#include <QLabel>
#include <QWidget>
#include <array>

class StatusBar : public QWidget {
    Q_OBJECT
public:
    explicit StatusBar(QWidget *parent);
    QString panelText(int panel) const { return m_panels.at(panel)->text(); }
    void setPanelText(int panel, const QString &text) { m_panels.at(panel)->setText(text); }
    std::array<QLabel *, 3> &panels() { return m_panels; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *) override;

private:
    std::array<QLabel *, 3> m_panels{};
};
