#include "views/Framebase.h"

void MakeViewSurface(QWidget* frame) {
  frame->setAttribute(Qt::WA_NoMousePropagation);
  frame->setAutoFillBackground(true);
}
