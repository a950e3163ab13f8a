#pragma once

#include <QElapsedTimer>
#include <QWidget>

// The recording's level in dBFS: a bar that rises at once and falls off smoothly, and a peak
// mark that holds for a moment before it falls too.
class LevelMeter : public QWidget {
    Q_OBJECT

public:
    static constexpr double floorDb = -60.0;
    static constexpr double fallDbPerSecond = 24.0;
    static constexpr qint64 holdMs = 1200;

    explicit LevelMeter(QWidget* parent = nullptr);

    // The linear peak (0…1) of the latest audio; called a few dozen times a second.
    void setLevel(double linearPeak);

    double barDb() const { return barDb_; }
    double holdDb() const { return holdDb_; }

    // 0 (or less) becomes the floor.
    static double toDb(double linearPeak);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int xOf(double db) const;

    double barDb_ = floorDb;
    double holdDb_ = floorDb;
    QElapsedTimer sinceUpdate_;
    QElapsedTimer sinceHold_;
};
