#include "app/tmainform.h"

struct TMainForm::BarcodeReading {};

void TMainForm::BarcodeReadingDeleter::operator()(BarcodeReading* reading) const {
    delete reading;
}

void TMainForm::createBarcodeReading() {}

bool TMainForm::confirmPatientNumber() {
    return true;
}
