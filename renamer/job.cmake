# The rename job, its rollback, the editor mode's name list, and their tests.
kel_core(quillet_job core/renamejob.cpp core/editormode.cpp)
target_link_libraries(quillet_job PUBLIC quillet_core)

kel_test(quillet_job_test
  SOURCES tests/renamejob_test.cpp tests/reliability_test.cpp tests/editormode_test.cpp
  LIBS quillet_job quillet_core)
