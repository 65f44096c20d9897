#pragma once
// A page whose controls follow the window: each keeps its designed distance to the page
// edges it is anchored to. Below the smallest size at which every control keeps its room
// and stays clear of the others, the page scrolls instead, and a control that takes the
// keyboard focus is scrolled into view.
#include <QObject>
#include <QRect>
#include <QSize>
#include <utility>
#include <vector>

class QScrollBar;
class QWidget;

namespace parvelle {

// Edges of its page a control keeps its designed distance to. Given for both edges of a
// direction the control stretches; for neither it keeps its centre's place relative to the
// page's centre. akSpreadX controls share the room from the first one's left to the last
// one's right, which keeps its distance to the page's right edge, in their proportions.
enum Anchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8, akSpreadX = 16 };

class PageLayout : public QObject {
    Q_OBJECT
public:
    // Takes every control now on the page at its designed place (the page designed at
    // `design`), anchored left and top until Anchor says otherwise.
    PageLayout(QWidget* page, QSize design);

    // Minimum: the least size the control may be given when it stretches or spreads; by
    // default what its text needs (a word-wrapped label's text within its height).
    void Anchor(QWidget* control, int anchors, QSize minimum = {});

    // The smallest content size at which every control has its room, none overlaps another
    // and all lie within the page; a smaller page scrolls.
    QSize Floor() const { return floor_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Control {
        QWidget* widget;
        QRect designed;
        int anchors;
        QSize minimum;
    };
    QRect PlaceAt(const Control& control, QSize content) const;
    bool FitsAt(QSize content) const;
    void FindFloor();
    void Place();
    void ScrollIntoView(QWidget* focused);

    QWidget* page_;
    QSize design_;
    std::vector<Control> controls_;
    std::pair<int, int> spreadSpan_;   // from the first spread control's left to the last's right
    QSize floor_;
    QScrollBar* horizontal_;
    QScrollBar* vertical_;
};

} // namespace parvelle
