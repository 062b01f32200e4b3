#include "core/DataSetUser.h"

#include "core/DataSet.h"
#include "core/FcsText.h"

VexaDataSetUser::VexaDataSetUser(const std::string& path, int32_t index) : m_path(path), m_index(index) {
    if (IsFcsFile(path, index)) SetDataSet(new CDataSet(path, index), true);
}

VexaDataSetUser::VexaDataSetUser(CDataSet* dataSet) {
    if (dataSet) {
        m_path = dataSet->GetPathName();
        m_index = dataSet->GetIndex();
        SetDataSet(dataSet, true);
    }
}

VexaDataSetUser::VexaDataSetUser() = default;

VexaDataSetUser::~VexaDataSetUser() { VexaDataSetUser::DetachDataSet(true, false); }

bool VexaDataSetUser::SetDataSet(CDataSet* dataSet, bool notify) {
    if (dataSet && dataSet == m_dataSet) return false;
    DetachDataSet(true, false);
    m_dataSet = dataSet;
    if (!dataSet) return false;
    dataSet->AddUser(this);
    errors.insert(errors.end(), dataSet->errors.begin(), dataSet->errors.end());
    if (notify) OnDataSetChanged();
    return true;
}

void VexaDataSetUser::DetachDataSet(bool remove, bool notify) {
    CDataSet* ds = m_dataSet;
    m_dataSet = nullptr;
    if (remove && ds) ds->RemoveUser(this, false);  // may delete the data set
    if (notify) OnDataSetChanged();
    errors.clear();
}
