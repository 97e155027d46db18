// The section pane (the "Section" page of the output bar): the loaded sections
// beside a read-only hex view of a section's words.
#pragma once

#include <QByteArray>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QTableWidget;

namespace velmora {

class CHexEditBase;
class CSplitterBar;
class SettingsStore;
struct ProgramData;

// Little-endian bytes of `count` image words starting at `first`, cut to the
// words the buffer really holds.
QByteArray ImageBytes(const std::vector<uint32_t>& words, size_t first, size_t count);

class CSectionPane : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 132;
  static constexpr int kListId = 1000;
  static constexpr int kHexViewId = 1001;
  static constexpr int kSplitterId = 103;
  static constexpr int kMargin = 5;
  static constexpr int kColumnCount = 3;
  static constexpr const char* kHeaders[kColumnCount] = {"Section Name", "Start Address",
                                                         "Section Size"};
  static constexpr const char* kWidthKeys[kColumnCount] = {
      "Section Column0 Width", "Section Column1 Width", "Section Column2 Width"};
  static constexpr int kDefaultWidths[kColumnCount] = {120, 120, 120};

  // Reads the image and the section list of `program`, which must outlive the
  // pane, as must `store` (column widths, section "View Information").
  explicit CSectionPane(const ProgramData& program, SettingsStore* store = nullptr,
                        QWidget* parent = nullptr);
  ~CSectionPane() override;

  // Where the list's first width comes from: the symbol pane's current width.
  void SetLeftColumnWidthSource(std::function<int()> source) { leftWidth_ = std::move(source); }

  // After a successful load: one row per section; row 0 selected and shown.
  void Fill();
  // After a failed load: no rows, the whole image in the hex view.
  void Clear();
  // Shows section `row` in the hex view, when both the row and the section exist.
  void ShowSection(int row);
  // No rows; the first `byteCount` image bytes in the hex view from `firstAddress`.
  void ShowImageData(uint32_t byteCount, uint32_t firstAddress);

  int RowCount() const;
  QString Text(int row, int column) const;
  int SelectedRow() const;
  QTableWidget* List() const { return list_; }
  CHexEditBase* HexView() const { return hex_; }
  CSplitterBar* Splitter() const { return splitter_; }
  void SaveColumnWidths();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowWholeImage();
  void LayOut();

  const ProgramData& program_;
  SettingsStore* store_ = nullptr;
  QTableWidget* list_ = nullptr;
  CHexEditBase* hex_ = nullptr;
  CSplitterBar* splitter_ = nullptr;
  std::function<int()> leftWidth_;
  bool laidOut_ = false;
};

}  // namespace velmora
