#include "app/tmainform.h"

struct TMainForm::InquiryWindows {};

void TMainForm::InquiryWindowsDeleter::operator()(InquiryWindows* windows) const {
    delete windows;
}

void TMainForm::createInquiryWindows() {}
