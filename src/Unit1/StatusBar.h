#pragma once
#include <QLabel>
#include <QWidget>
#include <array>

// A status bar of two panels: the first of fixed width, the last stretched to the right edge.
// A click anywhere on it is reported.
class TStatusBar : public QWidget {
  Q_OBJECT
public:
  TStatusBar(int firstPanelWidth, QWidget* parent = nullptr);

  void SetPanelText(int index, const QString& text);
  QString PanelText(int index) const;

signals:
  void clicked();

protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  int FFirstWidth;
  std::array<QLabel*, 2> FPanels{};
};
