#include "app/ui/email_page_widget.h"

namespace rur::ui {

EmailPageWidget::EmailPageWidget(TForm1& form) : NotebookPage(QStringLiteral("EmailPage"), form) {}

}  // namespace rur::ui
