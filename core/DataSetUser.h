#pragma once
// Base of objects bound to one shared CDataSet.
#include <cstdint>
#include <string>
#include <vector>

class CDataSet;

class VexaDataSetUser {
public:
    // Loads data set `index` of path when it is an FCS file.
    VexaDataSetUser(const std::string& path, int32_t index);
    // Shares an existing data set (null leaves this detached).
    explicit VexaDataSetUser(CDataSet* dataSet);
    VexaDataSetUser();
    virtual ~VexaDataSetUser();
    VexaDataSetUser(const VexaDataSetUser&) = delete;
    VexaDataSetUser& operator=(const VexaDataSetUser&) = delete;

    virtual void OnDataSetChanged() {}
    virtual bool SetDataSet(CDataSet* dataSet, bool notify);
    virtual void DetachDataSet(bool remove, bool notify);

    CDataSet* GetDataSet() const { return m_dataSet; }
    const std::vector<int32_t>& GetErrors() const { return errors; }
    const std::string& GetPath() const { return m_path; }
    int32_t GetDataSetIndex() const { return m_index; }

protected:
    CDataSet* m_dataSet = nullptr;
    std::vector<int32_t> errors;
    std::string m_path;
    int32_t m_index = 0;
};
