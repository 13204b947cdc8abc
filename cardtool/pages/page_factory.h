// The page of each card type.
#pragma once

class CTavistoApp;
class QWidget;

QWidget* CreatePage(int cardType, CTavistoApp& app, QWidget* parent);
