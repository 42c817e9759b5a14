#include "ui/ImageListView.h"

#include "modem/FwImageStore.h"

namespace
{
enum
{
    COLUMN_TYPE = 0,
    COLUMN_BUILD_ID = 1,
    COLUMN_IMAGE_ID = 2
};

const wchar_t* TypeText(std::uint8_t nImageType)
{
    return nImageType == IMAGE_TYPE_MODEM ? L"Modem" : L"Pri";
}
}

CImageListView::CImageListView() : m_pListCtrl(nullptr)
{
}

bool CImageListView::InitColumns(CListCtrl* pListCtrl)
{
    if (pListCtrl == nullptr)
        return false;
    m_pListCtrl = pListCtrl;
    m_pListCtrl->InsertColumn(COLUMN_TYPE, L"Type", LVCFMT_CENTER, 50);
    m_pListCtrl->InsertColumn(COLUMN_BUILD_ID, L"Build ID", LVCFMT_LEFT, 125);
    m_pListCtrl->InsertColumn(COLUMN_IMAGE_ID, L"Image ID", LVCFMT_LEFT, 280);
    m_pListCtrl->SetExtendedListViewStyle(LVS_EX_FULLROWSELECT);
    return true;
}

bool CImageListView::Fill(const std::list<CImageElement>& images)
{
    if (m_pListCtrl == nullptr)
        return false;
    m_pListCtrl->DeleteAllItems();
    int nRow = 0;
    for (const CImageElement& image : images)
    {
        if (image.ImageType != IMAGE_TYPE_MODEM && image.ImageType != IMAGE_TYPE_PRI)
        {
            m_pListCtrl->InsertItem(nRow, L"Unknown image type");
            return false;
        }
        wchar_t szBuildId[BUILD_ID_TEXT_SIZE];
        wchar_t szImageId[IMAGE_ID_HEX_SIZE];
        CFwImageStore::BuildIdToText(image, szBuildId);
        CFwImageStore::ImageIdToHex(image.ImageID, szImageId);

        m_pListCtrl->InsertItem(nRow, TypeText(image.ImageType));
        m_pListCtrl->SetItemText(nRow, COLUMN_BUILD_ID, szBuildId);
        m_pListCtrl->SetItemText(nRow, COLUMN_IMAGE_ID, szImageId);
        m_pListCtrl->SetItemData(nRow, static_cast<DWORD_PTR>(static_cast<LONG_PTR>(image.Handle)));
        ++nRow;
    }
    return true;
}

bool CImageListView::GetSelectedImage(std::int32_t& nHandle, wchar_t* pszBuildId) const
{
    if (m_pListCtrl == nullptr)
        return false;
    int nRow = MarkedRow(*m_pListCtrl);
    if (nRow < 0)
        return false;
    // Room for a build ID of the full 32 characters and its terminator.
    m_pListCtrl->GetItemText(nRow, COLUMN_BUILD_ID, pszBuildId, BUILD_ID_TEXT_SIZE);
    nHandle = static_cast<std::int32_t>(static_cast<LONG_PTR>(m_pListCtrl->GetItemData(nRow)));
    return true;
}

int CImageListView::MarkedRow(const CListCtrl& list)
{
    int nRow = list.GetSelectionMark();
    if (nRow < 0 || (list.GetItemState(nRow, LVIS_SELECTED) & LVIS_SELECTED) == 0)
        return -1;
    return nRow;
}
