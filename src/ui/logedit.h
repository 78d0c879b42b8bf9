// The result log box TX_Msg: a plain text box that also knows which of its
// lines belong to a failure entry, marks them, steps from one to the next,
// can fold the other lines away, and searches its text.
#pragma once

#include <QPlainTextEdit>

#include <cstddef>
#include <vector>

class QLineEdit;

namespace morvik::ui {

class LogEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogEdit(QWidget* parent = nullptr);

    // A failure entry of the run begins at line firstLine (0-based, the line
    // of the heading or document name) and spans lines lines: marked as soon
    // as the box holds them, and marked again whenever the box is back at
    // the run's text (an undo after an edit).
    void markFailureEntry(int firstLine, int lines);
    // Forgets every mark: the run is about to write a new log.
    void forgetFailures();
    int failureEntries() const { return int(m_entries.size()); }
    bool isFailureLine(int line) const;

    // The run writes its log with no undo history (it would hold a second
    // copy); once it is done, edits are undoable back to the run's text.
    void beginRunLog();
    void endRunLog();

    // Selects the next (or previous) failure entry after the caret, wrapping
    // round, and scrolls so that the entry's lines and the end of its detail
    // line (the reason) are in view. False when the log holds none.
    bool showNextFailure();
    bool showPreviousFailure();

    // Shows only the lines of failure entries, or every line again.
    void setFailuresOnly(bool on);
    bool failuresOnly() const { return m_failuresOnly; }

    // The search line over the box's top right corner.
    QLineEdit* findBox() const { return m_findBox; }
    void showFindBox();
    // Selects the next (or previous) shown occurrence of text after the
    // caret, wrapping round; false when there is none.
    bool find(const QString& text, bool backwards = false);

    static constexpr int kMarginWidth = 9;

signals:
    void failuresOnlyChanged(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Margin;
    friend class Margin;

    struct Entry {
        int firstLine;
        int lines;
    };

    void applyMarks();
    void remarkAll();
    void updateVisibility(int fromBlock);
    bool showFailure(bool backwards);
    void paintMargin(QPaintEvent* event);
    void placeFindBox();

    std::vector<Entry> m_entries;
    std::size_t m_applied = 0; // entries marked in the box so far
    int m_visibilityDone = 0;  // blocks whose visibility follows the filter
    bool m_failuresOnly = false;
    Margin* m_margin;
    QLineEdit* m_findBox;
};

} // namespace morvik::ui
