#include "firmware/ui/release_notes_dialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace rm7 {

CReleaseInfoDlg* CReleaseInfoDlg::Open(const std::string& folder, QWidget* boxOwner, const DialogPrompts& prompts) {
    const ReleaseNotes notes = LoadReleaseNotes(folder);
    if (!notes.ok) {
        if (prompts.show) {
            // The reason on a line of its own: a user can act on "not rich text" or "permission denied".
            prompts.show(boxOwner, kReleaseNotesErrorCaption, notes.error + "\n\n" + notes.reason, MessageIcon::Error);
        }
        return nullptr;
    }
    auto* dialog = new CReleaseInfoDlg(notes);
    dialog->show();
    return dialog;
}

CReleaseInfoDlg::CReleaseInfoDlg(const ReleaseNotes& notes) : QDialog(nullptr), m_path(notes.path) {
    setObjectName("releaseNotesWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(kReleaseNotesTitle));
    setSizeGripEnabled(true);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName("releaseNotesText");
    m_browser->setOpenLinks(false);     // a link in the notes must not load anything into this window
    m_browser->setTabStopDistance(48);  // the half inch of rich text's default tab stops
    m_browser->setHtml(QString::fromStdString(RichTextToHtml(notes.document)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser, 1);
    layout->addWidget(buttons);
    // 370 x 245 dialog units of the window's font.
    const QFontMetrics metrics(font());
    resize(370 * metrics.averageCharWidth() / 4, 245 * metrics.height() / 8);
}

void CReleaseInfoDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_sized) {
        m_sized = true;
        setMinimumSize(size());
    }
}

}  // namespace rm7
