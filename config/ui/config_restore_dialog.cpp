#include "config/ui/config_restore_dialog.h"

#include "config/config_folder.h"

namespace rm7 {

CConfigRestoreDlg::CConfigRestoreDlg(CRadioSession& session, CSettingsStore* settings, QWidget* parent,
                                     DialogPrompts prompts)
    : CConfigJobDialog(QStringLiteral("Restore Configuration"), QStringLiteral("Restoring configuration"),
                       std::move(prompts), parent),
      m_job(
          std::make_unique<CConfigRestoreJob>(session, *this, settings, [] { return DefaultConfigurationFolder(); })) {}

CConfigRestoreDlg::~CConfigRestoreDlg() = default;

}  // namespace rm7
