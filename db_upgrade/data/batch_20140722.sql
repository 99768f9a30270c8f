alter table t_rm_saleflow add  maf_price_memo  varchar(60) null
GO
alter table t_rm_saleflow add  maf_add_price   numeric(16,4) null
GO
alter table t_rm_saleflow add  flowno_rand    char(14) null
GO
alter table t_rm_saleflow add  flowno_type    char(1) null
GO
update t_sys_system set sys_var_value ='20150825' where sys_var_id ='UPGRADE_DATE' 
GO
update t_sys_system set sys_var_value ='V8 20150825' where sys_var_id ='DataBase_Version' 
GO
