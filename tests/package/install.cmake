# Installs the build tree BUILD_DIR into a fresh PREFIX (cmake -P script): what the package lacks
# shows when the hosts are built against it.
file(REMOVE_RECURSE "${PREFIX}")
set(config_args)
if(CONFIG)
  set(config_args --config "${CONFIG}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" ${config_args}
                COMMAND_ERROR_IS_FATAL ANY)
