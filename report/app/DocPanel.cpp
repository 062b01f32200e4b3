#include "report/app/DocPanel.h"

#include <QLabel>
#include <QVBoxLayout>

#include "core/DataShell.h"
#include "report/page/LumitraDoc.h"
#include "report/page/TrkObj.h"

CDocPanel::CDocPanel(const QString& name, QWidget* parent) : QWidget(parent), m_name(name) {
    setObjectName(name.trimmed());
    m_label = new QLabel(this);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_label);
    setMinimumSize(160, 80);
    Refresh();
}

CDocPanel::CDocPanel(const QString& name, OwnLayout, QWidget* parent) : QWidget(parent), m_name(name) {
    setObjectName(name.trimmed());
    setMinimumSize(160, 80);
}

CDocPanel::~CDocPanel() = default;

void CDocPanel::BindDocument(CLumitraDoc* doc) {
    if (doc != m_doc) m_object = nullptr;
    m_doc = doc;
    Refresh();
}

void CDocPanel::OnDataShellAdded(CLumitraDoc* doc, VexaDataShell*) {
    if (doc == m_doc) Refresh();
}

QString CDocPanel::DocumentText() const {
    // A panel that edits an object (the property panel) shows its document.
    CLumitraDoc* doc = m_doc ? m_doc : (m_object ? m_object->GetDocument() : nullptr);
    if (!doc) return QStringLiteral("(none)");
    QString text = doc->GetTitle();
    for (int32_t i = 0; i < doc->GetDataShellCount(); ++i)
        text += QStringLiteral("\n  ") + QString::fromStdString(doc->GetDataShellAt(i)->GetName());
    return text;
}

void CDocPanel::Refresh() {
    if (m_label) m_label->setText(DocumentText());
}

void CDocPanel::BindObject(CTrkObj* obj) {
    m_object = obj;
    Refresh();
}

void CDocPanel::OnObjectRemoving(CTrkObj* obj) {
    if (obj != m_object) return;
    m_object = nullptr;
    Refresh();
}

QString CDocPanel::GetText() const {
    // Panels with their own widgets have no placeholder label: the text is
    // made from what they follow all the same.
    return m_label ? m_label->text() : DocumentText();
}
