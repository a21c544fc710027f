# The control kinds of the two windows.
target_sources(tarvik_widgets PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BitmapButton.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EngravedText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FlatMarks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FloatSpinEdit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GlyphButton.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GlyphList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GradientPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyColorMask.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ListImage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LocaleNumber.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RangeSpinEdit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpinArrowButton.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpinEditBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpinLineEdit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransparentCheckBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransparentGroupBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransparentLabel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransparentRadioGroup.cpp
)
