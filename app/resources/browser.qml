import QtWebEngine

WebEngineView {}
