#pragma once
#define IDR_MANIFEST 1
