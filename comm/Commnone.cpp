#include "comm/Commnone.h"

CmNone::CmNone(TModel& model) : CmBase(model, nullptr) { Status().Medium = "None"; }

void CmNone::Open(CmConfig* config) { Config = config; }
