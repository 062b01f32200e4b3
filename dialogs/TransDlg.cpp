#include "dialogs/TransDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/Codepage.h"
#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/StatItem.h"
#include "core/Trans.h"
#include "dialogs/DataSetDlgIds.h"
#include "dialogs/DialogControls.h"
#include "platform/UiServices.h"
#include "report/page/LumitraDoc.h"

namespace {

constexpr double kLn10 = 2.302585092994045684;

// The "Mode" entries, in list order (sorted: the order is the index).
constexpr const char* kModeTexts[] = {"Linear", "Log", "Logical"};
static_assert(kTransModeLinear == 0 && kTransModeLog == 1 && kTransModeLogical == 2);

// The fraction entries as the sorted combos list them.
constexpr const char* kFractionTexts[] = {"0", "0.1%", "0.5%", "1%", "10%", "5%"};
constexpr const char* kDefaultFraction = "0.1%";

int32_t ModeOfKind(int32_t kind) {
    switch (kind) {
        case kTransLog: return kTransModeLog;
        case kTransLogical: return kTransModeLogical;
        default: return kTransModeLinear;
    }
}

QPushButton* Button(const char* text, int32_t id, QWidget* parent) {
    auto* b = lm::WithControlId(new QPushButton(QString::fromLatin1(text), parent), id);
    b->setAutoDefault(false);
    return b;
}

QComboBox* FractionCombo(int32_t id, QWidget* parent) {
    auto* c = lm::WithControlId(new QComboBox(parent), id);
    for (const char* t : kFractionTexts) c->addItem(QString::fromLatin1(t));
    c->setCurrentText(QString::fromLatin1(kDefaultFraction));
    return c;
}

// The name the parameter list shows: $PnN, or $PnS when the file gives no name.
QString ParamName(const VexaDataShell& shell, int32_t i) {
    const CParam* p = shell.GetParam(i);
    if (!p) return QString();
    return QString::fromStdString(lm::BytesToUtf8OrCp936(p->hasName ? p->name : p->shortName));
}

}  // namespace

CTransDlg::CTransDlg(VexaDataShell* shell, QWidget* parent) : QDialog(parent), m_pShell(shell) {
    setWindowTitle(QStringLiteral("Transform"));
    m_cbParam = lm::WithControlId(new QComboBox(this), kTransParam);
    m_cbMode = lm::WithControlId(new QComboBox(this), kTransMode);
    for (const char* t : kModeTexts) m_cbMode->addItem(QString::fromLatin1(t));
    m_editMin = lm::WithControlId(new QLineEdit(this), kTransMin);
    m_editMax = lm::WithControlId(new QLineEdit(this), kTransMax);
    m_editDecades = lm::WithControlId(new QLineEdit(this), kTransDecades);
    m_stDecades = lm::WithControlId(new QLabel(QStringLiteral("Decades"), this), kTransDecadesLabel);
    m_cbAutoMinFrac = FractionCombo(kTransAutoMinFrac, this);
    m_cbAutoMaxFrac = FractionCombo(kTransAutoMaxFrac, this);
    m_btnAutoMin = Button("Auto Min", kTransAutoMin, this);
    m_btnAutoMax = Button("Auto Max", kTransAutoMax, this);
    QPushButton* ok = Button("OK", kTransOk, this);
    QPushButton* apply = Button("Apply", kTransApply, this);
    QPushButton* cancel = Button("Cancel", kTransCancel, this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Parameter"), this), 0, 0);
    grid->addWidget(m_cbParam, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Mode"), this), 1, 0);
    grid->addWidget(m_cbMode, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Min"), this), 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Max"), this), 2, 2);
    grid->addWidget(m_editMin, 3, 1);
    grid->addWidget(m_editMax, 3, 2);
    grid->addWidget(m_cbAutoMinFrac, 4, 1);
    grid->addWidget(m_cbAutoMaxFrac, 4, 2);
    grid->addWidget(m_btnAutoMin, 5, 1);
    grid->addWidget(m_btnAutoMax, 5, 2);
    grid->addWidget(m_stDecades, 6, 0);
    grid->addWidget(m_editDecades, 6, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(m_cbParam, &QComboBox::activated, this, [this] { OnParamChange(); });
    connect(m_cbMode, &QComboBox::activated, this, [this] { OnModeChange(); });
    connect(m_btnAutoMin, &QPushButton::clicked, this, [this] { OnAuto(false); });
    connect(m_btnAutoMax, &QPushButton::clicked, this, [this] { OnAuto(true); });
    connect(apply, &QPushButton::clicked, this, [this] { OnApply(); });
    connect(ok, &QPushButton::clicked, this, &CTransDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int32_t CTransDlg::Param() const { return m_cbParam->currentIndex(); }
int32_t CTransDlg::Mode() const { return m_cbMode->currentIndex(); }

void CTransDlg::OnInitDialog() {
    m_cbParam->clear();
    const int32_t n = m_pShell ? m_pShell->GetParamCount() : 0;
    for (int32_t i = 0; i < n; ++i) m_cbParam->addItem(ParamName(*m_pShell, i));
    m_cbParam->setCurrentIndex(n > 0 ? 0 : -1);
    m_cbAutoMinFrac->setCurrentText(QString::fromLatin1(kDefaultFraction));
    m_cbAutoMaxFrac->setCurrentText(QString::fromLatin1(kDefaultFraction));
    OnParamChange();
}

void CTransDlg::OnParamChange() {
    const CTRANS* t = m_pShell ? m_pShell->GetTrans(Param()) : nullptr;
    m_cbMode->setCurrentIndex(ModeOfKind(t ? t->GetType() : kTransLinear));
    OnModeChange();
}

void CTransDlg::OnModeChange() {
    const int32_t par = Param();
    const CTRANS* t = m_pShell ? m_pShell->GetTrans(par) : nullptr;
    const int32_t kind = t ? t->GetType() : -1;
    const float range = m_pShell ? m_pShell->GetParamRange(par) : 0.0f;
    const int32_t mode = Mode();
    const bool logical = mode == kTransModeLogical;
    m_stDecades->setVisible(logical);
    m_editDecades->setVisible(logical);
    if (mode == kTransModeLogical) {
        if (kind == kTransLogical) {
            const auto* l = static_cast<const CLogical*>(t);
            m_fMax = l->GetT();
            m_fMin = l->GetR();
            m_fDecades = float(double(l->GetM()) / kLn10);
        } else {
            m_fMax = range;
            m_fMin = CLogical::kDefaultR;
            m_fDecades = CLogical::kDefaultM;
        }
    } else if (mode == kTransModeLog) {
        if (kind == kTransLog) {
            m_fMax = t->GetMax();
            m_fMin = t->GetMin();
        } else {
            // No $PnR: 0, which Apply refuses with its reason.
            m_fMax = range > 0.0f ? float(std::log10(double(range))) : 0.0f;
            m_fMin = 0.0f;
        }
    } else {
        if (kind == kTransLinear) {
            m_fMax = t->GetMax();
            m_fMin = t->GetMin();
        } else {
            m_fMax = range;
            m_fMin = 0.0f;
        }
    }
    ShowValues();
}

void CTransDlg::ShowValues() {
    m_editMin->setText(lm::FloatText(m_fMin));
    m_editMax->setText(lm::FloatText(m_fMax));
    m_editDecades->setText(lm::FloatText(m_fDecades));
}

bool CTransDlg::OnApply() {
    const int32_t par = Param();
    CTRANS* current = m_pShell ? m_pShell->GetTrans(par) : nullptr;
    if (!current) return false;
    const int32_t mode = Mode();
    auto warn = [this](const QString& text) {
        lm::Ui().MessageBox(this, text, windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return false;
    };
    struct Field {
        const char* name;
        QLineEdit* edit;
        float* out;
    };
    std::vector<Field> fields = {{"Min", m_editMin, &m_fMin}, {"Max", m_editMax, &m_fMax}};
    if (mode == kTransModeLogical) fields.push_back({"Decades", m_editDecades, &m_fDecades});
    float values[3] = {};
    for (size_t i = 0; i < fields.size(); ++i) {
        double v = 0.0;
        const QString text = fields[i].edit->text().trimmed();
        if (!lm::TryParseDouble(text.toStdString(), &v) || !std::isfinite(float(v))) {
            fields[i].edit->setFocus();
            return warn(QStringLiteral("%1: \"%2\" is not a number the axis can use.")
                            .arg(QString::fromLatin1(fields[i].name), text));
        }
        values[i] = float(v);
    }
    const float min = values[0], max = values[1], decades = values[2];
    std::unique_ptr<CTRANS> next;
    if (mode == kTransModeLogical) {
        std::string why;
        if (!CLogical::CheckParams(max, min, decades, &why))
            return warn(QStringLiteral("The logical axis cannot use Max %1, Min %2, Decades %3: %4.")
                            .arg(lm::FloatText(max), lm::FloatText(min), lm::FloatText(decades),
                                 QString::fromStdString(why)));
        next = std::make_unique<CLogical>(max, min, decades);
    } else if (mode == kTransModeLog) {
        if (!CLogTRANS::IsValidRange(min, max))
            return warn(QStringLiteral("The log axis cannot use Min %1 and Max %2: both are decades from "
                                       "-38 to 38 and Min must be below Max.")
                            .arg(lm::FloatText(min), lm::FloatText(max)));
        next = std::make_unique<CLogTRANS>(min, max);
    } else {
        if (!CTRANS::IsValidRange(min, max))
            return warn(QStringLiteral("The linear axis cannot use Min %1 and Max %2: Min must be below Max.")
                            .arg(lm::FloatText(min), lm::FloatText(max)));
        next = std::make_unique<CTRANS>(min, max);
    }
    for (size_t i = 0; i < fields.size(); ++i) *fields[i].out = values[i];
    // The values the parameter has, shown and read back: nothing to replace
    // (a logical width shown in decades may come back a rounding apart).
    if (next->GetType() == current->GetType()) {
        if (next->IsEqual(*current)) return true;
        if (mode == kTransModeLogical) {
            const auto* l = static_cast<const CLogical*>(current);
            if (l->GetT() == max && l->GetR() == min &&
                lm::FloatText(float(double(l->GetM()) / kLn10)) == lm::FloatText(decades))
                return true;
        }
    }
    m_pShell->SetTrans(std::move(next), par);
    if (m_pDoc && m_pDoc->GetDataShellIndex(m_pShell) >= 0) {
        m_pDoc->SetModifiedFlag(true);
        m_pDoc->ShowDataShellChange(m_pShell);
    }
    return true;
}

void CTransDlg::OnOK() {
    // What the dialog shows is what the user chose: OK takes it as Apply
    // does, and a refused value keeps the dialog open with its message.
    if (OnApply()) accept();
}

void CTransDlg::OnAuto(bool max) {
    if (!m_pShell || Param() < 0) return;
    QComboBox* combo = max ? m_cbAutoMaxFrac : m_cbAutoMinFrac;
    QPushButton* button = max ? m_btnAutoMax : m_btnAutoMin;
    double f = 0.0;
    if (!lm::FractionOfPercentText(combo->currentText(), &f)) return;
    std::vector<lm::MenuItem> items;
    for (int32_t i = 0; i < m_pShell->GetGateCount(); ++i)
        items.push_back(lm::MenuItem::Command(
            i + 1, QString::fromStdString(m_pShell->GetGate(i)->GetDisplayName(true))));
    const int32_t id = lm::Ui().TrackPopupMenu(this, items, button->mapToGlobal(QPoint(0, button->height())));
    CGateNode* gate = id > 0 ? m_pShell->GetGate(id - 1) : nullptr;
    if (!gate || !gate->GetStatItem()) return;
    const QString which = QString::fromLatin1(max ? "Max" : "Min");
    const QString gateName = QString::fromStdString(gate->GetDisplayName(true));
    auto warn = [&](const QString& text) {
        lm::Ui().MessageBox(this, text, windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
    };
    if (gate->GetStatItem()->GetEventCount() == 0) {
        warn(QStringLiteral("The gate \"%1\" holds no events: %2 is kept.").arg(gateName, which));
        return;
    }
    // Values as the axis holds them: a log-amplified parameter's channels.
    double v = gate->GetStatItem()->GetStoredPercentile(Param(), max ? 1.0 - f : f);
    if (Mode() == kTransModeLog) {
        if (!(v > 0.0)) {
            warn(QStringLiteral("At %1 the gate \"%2\" gives %3, which has no logarithm: %4 is kept.")
                     .arg(combo->currentText(), gateName, lm::FloatText(float(v)), which));
            return;
        }
        v = std::log10(v);
    }
    (max ? m_editMax : m_editMin)->setText(lm::FloatText(float(v)));
}

void CTransDlg::Run(VexaDataShell* shell, CLumitraDoc* doc, QWidget* parent) {
    if (!shell) return;
    CTransDlg dlg(shell, parent);
    dlg.SetDocument(doc);
    dlg.OnInitDialog();
    lm::Ui().ExecDialog(&dlg);
}
