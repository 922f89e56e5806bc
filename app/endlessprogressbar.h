#pragma once

#include <QWidget>

class QTimer;

// A bar for work of unknown length: a block sweeps back and forth while the bar is visible.
class EndlessProgressBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kStepIntervalMs = 30;
    static constexpr int kStepPx = 4;

    explicit EndlessProgressBar(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    bool isRunning() const;
    // Left edge of the moving block, in pixels from the bar's left edge.
    int blockOffset() const { return m_offset; }
    int blockWidth() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void OnStep();

private:
    QTimer *m_timer = nullptr;
    int m_offset = 0;
    int m_direction = 1;
};
