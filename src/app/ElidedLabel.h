#pragma once

#include <QLabel>

// A one-line label for text of the user's choosing (a file's name) that may be longer than the
// room there is: it takes the width it is given and shows "…" in the middle of what doesn't
// fit, with the whole text in its tooltip. Never rich text.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    QString fullText() const { return fullText_; }
    // The whole text fits as shown.
    bool showsAll() const { return text() == fullText_; }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString fullText_;
};
