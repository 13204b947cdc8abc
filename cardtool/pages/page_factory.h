// The page of each card type.
#pragma once

class AppContext;
class QWidget;

QWidget* CreatePage(int cardType, AppContext& app, QWidget* parent);
