#pragma once
// Shows one list of images in a report-view list view: one row per image,
// each row keeping its image's Handle as item data.
#include <windows.h>

#include <cstdint>
#include <list>

#include "framework/ListCtrl.h"
#include "modem/ImageElement.h"

class CImageListView
{
public:
    CImageListView();

    // Takes the control and gives it the three columns; false for a null control.
    bool InitColumns(CListCtrl* pListCtrl);
    // Replaces the rows; false, after a row saying so, at an image of an unknown type.
    bool Fill(const std::list<CImageElement>& images);
    // The marked row's build ID text and Handle; false, outputs untouched,
    // when no row is marked. pszBuildId holds BUILD_ID_TEXT_SIZE characters.
    bool GetSelectedImage(std::int32_t& nHandle, wchar_t* pszBuildId) const;

    // The row at the list's selection mark while that row is marked, else -1:
    // the mark outlives the row's selected state (Clear, a click beside the rows).
    static int MarkedRow(const CListCtrl& list);

    CListCtrl* m_pListCtrl;
};
