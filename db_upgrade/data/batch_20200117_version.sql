update t_sys_system set sys_var_value ='V8 20191014' where sys_var_id ='DataBase_Version' 
GO
