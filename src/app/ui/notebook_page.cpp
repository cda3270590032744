#include "app/ui/notebook_page.h"

#include "app/ui/main_window.h"

namespace rur::ui {

NotebookPage::NotebookPage(const QString& name, TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(name);
  setFixedSize(kPageWidth, kPageHeight);
}

}  // namespace rur::ui
