#include "app/ui/upgrade_page_widget.h"

namespace rur::ui {

UpgradePageWidget::UpgradePageWidget(TForm1& form) : NotebookPage(QStringLiteral("UpgradePage"), form) {}

}  // namespace rur::ui
