#pragma once
// The E-mail page (page 3): the mail settings. The page's controls are still to come.

#include "app/ui/notebook_page.h"

namespace rur::ui {

class EmailPageWidget : public NotebookPage {
  Q_OBJECT

 public:
  explicit EmailPageWidget(TForm1& form);
};

}  // namespace rur::ui
