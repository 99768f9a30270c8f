#include "statements.h"

namespace tessary::statements {

const std::string_view select_upgrade_date =
    "select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id "
    "='UPGRADE_DATE' ";
const std::string_view insert_upgrade_date =
    "insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '00000000' , '是' , '' , "
    "null , null , null ) ";
const std::string_view select_second_database =
    "SELECT Name FROM sysdatabases WHERE Lower ( Name ) ='sorvanth' ";

}  // namespace tessary::statements
